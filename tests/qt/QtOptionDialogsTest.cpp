#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QValidator>
#include <gtest/gtest.h>

#include <tuple>

#include "app/FileIOOptionsDialogLogic.h"
#include "app/GraphOptionsDialogLogic.h"
#include "app/RecordingOptionsDialogLogic.h"
#include "adapters/qt/QtAboutDialog.h"
#include "adapters/qt/QtFileIOOptionsDialog.h"
#include "adapters/qt/QtGraphOptionsDialog.h"
#include "adapters/qt/QtRecordingOptionsDialog.h"
#include "support/FakeMainWindow.h"
#include "qt/QtTestApplication.h"

namespace sonotrap {
namespace {

class QtOptionDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtTestApplication(); }
    template <typename T>
    static T* Control(QWidget& dialog, int id) {
        return dialog.findChild<T*>(QStringLiteral("id%1").arg(id));
    }
    // The widgets Tab visits, in order, starting at first.
    static std::vector<QWidget*> TabChain(QWidget* first, size_t count) {
        std::vector<QWidget*> chain;
        for (QWidget* w = first; chain.size() < count; w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isWidgetType() && w != w->window()) chain.push_back(w);
        }
        return chain;
    }
    static QStringList Labels(QWidget& dialog) {
        QStringList texts;
        for (QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
        return texts;
    }

    DiagnosticLog log;
    CaptureSettings active;
    Settings settings{log, active};
    ShellState state;
    FakeMainWindow window;
};

TEST_F(QtOptionDialogs, AboutShowsVersionAndOk) {
    QtAboutDialog dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About"));
    EXPECT_TRUE(Labels(dialog).contains(QStringLiteral("Sonotrap Version 3.04")));
    auto* ok = Control<QPushButton>(dialog, 1);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(QtOptionDialogs, RecordingControlsTextsAndTabOrder) {
    settings.dialogMinFrequency = 200;
    RecordingOptionsDialogLogic logic(settings, state, window);
    QtRecordingOptionsDialog dialog(logic, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Recording options..."));
    auto* slider = Control<QSlider>(dialog, 1003);
    auto* threshold = Control<QLineEdit>(dialog, 1000);
    auto* minEdit = Control<QLineEdit>(dialog, 1001);
    auto* maxEdit = Control<QLineEdit>(dialog, 1002);
    ASSERT_TRUE(slider && threshold && minEdit && maxEdit);
    EXPECT_EQ(std::tuple(slider->minimum(), slider->maximum(), slider->value()), std::tuple(3, 90, 60));
    EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
    EXPECT_TRUE(threshold->isReadOnly());
    EXPECT_EQ(threshold->text(), QStringLiteral("-60 dB"));
    EXPECT_EQ(minEdit->text(), QStringLiteral("200"));
    EXPECT_EQ(maxEdit->text(), QStringLiteral("16000"));
    EXPECT_EQ(minEdit->maxLength(), 6);
    const QStringList labels = Labels(dialog);
    for (const char* text : {"Less", "More", "Min/max trigger fequencies - (use 16 - 16000 for any)", "Min",
                             "Hz      Max", "Hz"})
        EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {  // every text shows whole
        const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 1000), flags, label->text());
        EXPECT_LE(needed.width(), label->width()) << label->text().toStdString();
        EXPECT_LE(needed.height(), label->height()) << label->text().toStdString();
    }
    EXPECT_EQ(TabChain(slider, 5), (std::vector<QWidget*>{slider, minEdit, maxEdit, Control<QWidget>(dialog, 1),
                                                          Control<QWidget>(dialog, 2)}));
    // Digits only.
    int pos = 0;
    QString typed = QStringLiteral("12a");
    EXPECT_NE(minEdit->validator()->validate(typed, pos), QValidator::Acceptable);
}

TEST_F(QtOptionDialogs, RecordingSliderIsLiveDuringRunAndCancelRestores) {
    state.captureSide = true;
    state.running = true;
    RecordingOptionsDialogLogic logic(settings, state, window);
    QtRecordingOptionsDialog dialog(logic, nullptr);
    auto* slider = Control<QSlider>(dialog, 1003);
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(settings.Threshold(), 61u);
    EXPECT_EQ(Control<QLineEdit>(dialog, 1000)->text(), QStringLiteral("-61 dB"));
    slider->triggerAction(QAbstractSlider::SliderToMaximum);  // not a handled code
    EXPECT_EQ(settings.Threshold(), 61u);
    dialog.reject();
    EXPECT_EQ(settings.Threshold(), 60u);
}

TEST_F(QtOptionDialogs, RecordingRejectsMinimumNotBelowMaximumAndStaysOpen) {
    RecordingOptionsDialogLogic logic(settings, state, window);
    QtRecordingOptionsDialog dialog(logic, nullptr);
    dialog.show();
    Control<QLineEdit>(dialog, 1001)->setText(QStringLiteral("500"));
    Control<QLineEdit>(dialog, 1002)->setText(QStringLiteral("500"));
    Control<QPushButton>(dialog, 1)->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(window.MessageBoxes().size(), 1u);
    EXPECT_EQ(window.MessageBoxes()[0].caption, "Minimum frequencyn trigger entry error...");
    Control<QLineEdit>(dialog, 1002)->setText(QStringLiteral("501"));
    Control<QPushButton>(dialog, 1)->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(active.minTriggerHz.load(), 500);
    EXPECT_EQ(active.maxTriggerHz.load(), 501);
}

TEST_F(QtOptionDialogs, GraphSliderAndNormalizeTakeEffectOnlyOnOk) {
    GraphOptionsDialogLogic logic(3, false);
    QtGraphOptionsDialog dialog(logic, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Graph Options..."));
    auto* slider = Control<QSlider>(dialog, 1001);
    auto* normalize = Control<QCheckBox>(dialog, 1002);
    ASSERT_TRUE(slider && normalize);
    EXPECT_EQ(std::tuple(slider->minimum(), slider->maximum(), slider->value()), std::tuple(1, 16, 3));
    EXPECT_FALSE(normalize->isChecked());
    EXPECT_EQ(normalize->text(), QStringLiteral("Normalize"));
    EXPECT_EQ(TabChain(slider, 4), (std::vector<QWidget*>{slider, normalize, Control<QWidget>(dialog, 1),
                                                          Control<QWidget>(dialog, 2)}));
    slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    normalize->setChecked(true);
    dialog.accept();
    EXPECT_EQ(dialog.Choice().averagingDepth, slider->value());
    EXPECT_GT(dialog.Choice().averagingDepth, 3);
    EXPECT_TRUE(dialog.Choice().normalize);
}

TEST_F(QtOptionDialogs, FileIOPairsAreIndependentAndStored) {
    FileIOOptionsDialogLogic logic(settings);
    QtFileIOOptionsDialog dialog(logic, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("File IO options..."));
    auto radio = [&](int id) { return Control<QRadioButton>(dialog, id); };
    for (int id = 1004; id <= 1009; ++id) ASSERT_NE(radio(id), nullptr) << id;
    for (int id : {1004, 1006, 1008}) EXPECT_TRUE(radio(id)->isChecked()) << id;
    EXPECT_EQ(radio(1006)->text() + radio(1007)->text(), QStringLiteral("mp3wav"));
    radio(1007)->click();
    radio(1009)->click();
    EXPECT_TRUE(radio(1004)->isChecked());  // a choice in one pair leaves the others alone
    EXPECT_FALSE(radio(1006)->isChecked());
    Control<QPushButton>(dialog, 1)->click();
    EXPECT_FALSE(active.outputMp3.load());
    EXPECT_TRUE(active.peakLogging.load());
    EXPECT_TRUE(settings.SizeUnlimited());
    QtFileIOOptionsDialog again(logic, nullptr);
    EXPECT_TRUE(Control<QRadioButton>(again, 1009)->isChecked());
    EXPECT_TRUE(Labels(again).contains(QStringLiteral("Limit file size")));
}

}  // namespace
}  // namespace sonotrap
