#include "adapters/qt/QtFileIOOptionsDialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/FileIOOptionsDialogLogic.h"
#include "adapters/qt/QtDialogUnits.h"

namespace sonotrap {

QtFileIOOptionsDialog::QtFileIOOptionsDialog(FileIOOptionsDialogLogic& logic, QWidget* owner)
    : QDialog(owner), logic_(logic) {
    using L = FileIOOptionsDialogLogic;
    SetUpDialog(this, QStringLiteral("File IO options..."), 157, 132);
    PlaceControl(new QGroupBox(this), -1, 10, 11, 136, 26);
    AddStatic(this, "Output", 19, 21, 42, 8);
    QRadioButton* wav = nullptr;
    mp3_ = AddPair(L::kMp3Id, "mp3", L::kWavId, "wav", 21, 21, &wav);
    PlaceControl(new QGroupBox(this), -1, 10, 40, 136, 26);
    AddStatic(this, "Peak logging", 19, 49, 42, 8);
    QRadioButton* peakOff = nullptr;
    peakOn_ = AddPair(L::kPeakOnId, "On", L::kPeakOffId, "Off", 50, 50, &peakOff);
    PlaceControl(new QGroupBox(this), -1, 10, 68, 136, 26);
    AddStatic(this, "Limit file size", 19, 79, 42, 8);
    QRadioButton* limitOff = nullptr;
    limitOn_ = AddPair(L::kLimitOnId, "On", L::kLimitOffId, "Off", 78, 79, &limitOff);
    AddOkCancel(this, QRect(10, 106, 50, 14), QRect(95, 106, 50, 14));

    const L::Checks checks = logic_.OnInitDialog();
    (checks.mp3 ? mp3_ : wav)->setChecked(true);
    (checks.peakOn ? peakOn_ : peakOff)->setChecked(true);
    (checks.limitOn ? limitOn_ : limitOff)->setChecked(true);
}

QRadioButton* QtFileIOOptionsDialog::AddPair(int onId, const char* onText, int offId, const char* offText, int y,
                                             int offY, QRadioButton** off) {
    auto* on = new QRadioButton(QString::fromLatin1(onText), this);
    PlaceControl(on, onId, 76, y, onId == FileIOOptionsDialogLogic::kMp3Id ? 29 : 25, 10);
    *off = new QRadioButton(QString::fromLatin1(offText), this);
    PlaceControl(*off, offId, 114, offY, 25, 10);
    // Each pair answers one question: a choice in one pair never clears another pair.
    auto* group = new QButtonGroup(this);
    group->addButton(on);
    group->addButton(*off);
    return on;
}

void QtFileIOOptionsDialog::accept() {
    logic_.OnOk({mp3_->isChecked(), peakOn_->isChecked(), limitOn_->isChecked()});
    QDialog::accept();
}

}  // namespace sonotrap
