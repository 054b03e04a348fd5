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

// The dialogs' Qt wiring: controls by id, their ranges, tab order, and that user actions reach
// the logic (whose rules DialogLogicTest covers).
class QtOptionDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtTestApplication(); }
    template <typename T = QWidget>
    static T* Control(QWidget& dialog, int id) {
        T* control = dialog.findChild<T*>(QStringLiteral("id%1").arg(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    // The widgets Tab visits, in order, starting at first.
    static std::vector<QWidget*> TabChain(QWidget* first, size_t count) {
        std::vector<QWidget*> chain;
        for (QWidget* w = first; chain.size() < count; w = w->nextInFocusChain()) {
            if ((w->focusPolicy() & Qt::TabFocus) && w != w->window()) chain.push_back(w);
        }
        return chain;
    }

    DiagnosticLog log;
    CaptureSettings active;
    Settings settings{log, active};
    ShellState state;
    FakeMainWindow window;
};

TEST_F(QtOptionDialogs, RecordingControlsShowWholeInTabOrderAndTheSliderIsLiveUntilCancel) {
    state.captureSide = state.running = true;
    RecordingOptionsDialogLogic logic(settings, state, window);
    QtRecordingOptionsDialog dialog(logic, nullptr);
    auto* slider = Control<QSlider>(dialog, 1003);
    auto* minEdit = Control<QLineEdit>(dialog, 1001);
    ASSERT_TRUE(slider && minEdit);
    EXPECT_EQ(std::tuple(slider->minimum(), slider->maximum(), slider->value()), std::tuple(3, 90, 60));
    EXPECT_TRUE(Control<QLineEdit>(dialog, 1000)->isReadOnly());
    EXPECT_EQ(minEdit->maxLength(), 6);
    int pos = 0;
    QString typed = QStringLiteral("12a");
    EXPECT_NE(minEdit->validator()->validate(typed, pos), QValidator::Acceptable);  // digits only
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 1000), flags, label->text());
        EXPECT_TRUE(needed.width() <= label->width() && needed.height() <= label->height()) << label->text().toStdString();
    }
    EXPECT_EQ(TabChain(slider, 5), (std::vector<QWidget*>{slider, minEdit, Control(dialog, 1002), Control(dialog, 1),
                                                          Control(dialog, 2)}));
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(settings.Threshold(), 61u);
    EXPECT_EQ(Control<QLineEdit>(dialog, 1000)->text(), QStringLiteral("-61 dB"));
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
    EXPECT_EQ(window.MessageBoxes().size(), 1u);
    Control<QLineEdit>(dialog, 1002)->setText(QStringLiteral("501"));
    Control<QPushButton>(dialog, 1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(std::pair(active.minTriggerHz.load(), active.maxTriggerHz.load()), std::pair(500, 501));
}

TEST_F(QtOptionDialogs, GraphSliderAndNormalizeReachTheChoice) {
    GraphOptionsDialogLogic logic(3, false);
    QtGraphOptionsDialog dialog(logic, nullptr);
    auto* slider = Control<QSlider>(dialog, 1001);
    auto* normalize = Control<QCheckBox>(dialog, 1002);
    ASSERT_TRUE(slider && normalize);
    EXPECT_EQ(std::tuple(slider->minimum(), slider->maximum(), slider->value()), std::tuple(1, 16, 3));
    EXPECT_EQ(TabChain(slider, 4), (std::vector<QWidget*>{slider, normalize, Control(dialog, 1), Control(dialog, 2)}));
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
    auto radio = [&](int id) { return Control<QRadioButton>(dialog, id); };
    for (int id : {1004, 1006, 1008}) ASSERT_TRUE(radio(id) && radio(id)->isChecked()) << id;
    radio(1007)->click();
    radio(1009)->click();
    EXPECT_TRUE(radio(1004)->isChecked());  // a choice in one pair leaves the others alone
    Control<QPushButton>(dialog, 1)->click();
    EXPECT_FALSE(active.outputMp3.load());
    EXPECT_TRUE(active.peakLogging.load());
    EXPECT_TRUE(settings.SizeUnlimited());
}

}  // namespace
}  // namespace sonotrap
