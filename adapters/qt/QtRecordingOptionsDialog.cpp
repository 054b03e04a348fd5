#include "adapters/qt/QtRecordingOptionsDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>

#include "app/RecordingOptionsDialogLogic.h"
#include "adapters/qt/QtDialogUnits.h"
#include "adapters/qt/QtSliderCodes.h"

namespace sonotrap {

namespace {

QLineEdit* AddDigitsEdit(QWidget* dialog, int id, int x, int y, int w, int h, int maxLength) {
    auto* edit = new QLineEdit(dialog);
    PlaceControl(edit, id, x, y, w, h);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setMaxLength(maxLength);
    return edit;
}

}  // namespace

QtRecordingOptionsDialog::QtRecordingOptionsDialog(RecordingOptionsDialogLogic& logic, QWidget* owner)
    : QDialog(owner), logic_(logic) {
    SetUpDialog(this, QStringLiteral("Recording options..."), 187, 133);
    PlaceControl(new QGroupBox(QStringLiteral("Trigger sensitivity"), this), -1, 7, 7, 173, 30);
    AddStatic(this, "Less", 55, 20, 19, 10, true);
    slider_ = new QSlider(Qt::Horizontal, this);
    PlaceControl(slider_, RecordingOptionsDialogLogic::kSliderId, 75, 19, 78, 12);
    slider_->setTickPosition(QSlider::NoTicks);
    AddStatic(this, "More", 156, 20, 18, 10);
    thresholdText_ = new QLineEdit(this);
    PlaceControl(thresholdText_, RecordingOptionsDialogLogic::kThresholdEditId, 22, 19, 27, 12);
    thresholdText_->setReadOnly(true);
    thresholdText_->setFocusPolicy(Qt::NoFocus);
    // Two lines tall and wrapped: the guidance is wider than its template's one line in this face.
    AddStatic(this, "Min/max trigger fequencies - (use 16 - 16000 for any)", 10, 46, 166, 22)->setWordWrap(true);
    AddStatic(this, "Min", 12, 72, 21, 9, true);
    minEdit_ = AddDigitsEdit(this, RecordingOptionsDialogLogic::kMinEditId, 37, 70, 36, 12,
                             RecordingOptionsDialogLogic::kFrequencyTextMax);
    AddStatic(this, "Hz      Max", 74, 72, 34, 9, true);
    maxEdit_ = AddDigitsEdit(this, RecordingOptionsDialogLogic::kMaxEditId, 111, 70, 36, 12,
                             RecordingOptionsDialogLogic::kFrequencyTextMax);
    AddStatic(this, "Hz", 149, 72, 24, 9);
    QPushButton* ok = AddOkCancel(this, QRect(7, 112, 50, 14), QRect(130, 112, 50, 14));
    setTabOrder(slider_, minEdit_);
    setTabOrder(minEdit_, maxEdit_);
    setTabOrder(maxEdit_, ok);

    logic_.OnInitDialog();
    thresholdText_->setText(QString::fromStdString(logic_.ThresholdText()));
    minEdit_->setText(QString::fromStdString(logic_.MinText()));
    maxEdit_->setText(QString::fromStdString(logic_.MaxText()));
    slider_->setRange(logic_.SliderMin(), logic_.SliderMax());
    slider_->setValue(logic_.SliderPosition());
    connect(slider_, &QAbstractSlider::actionTriggered, this, &QtRecordingOptionsDialog::OnSliderAction);
    slider_->setFocus();
}

void QtRecordingOptionsDialog::OnSliderAction(int action) {
    // The slider position already holds the action's result when this is emitted.
    const int position = slider_->sliderPosition();
    if (logic_.OnSliderScroll(TrackbarCodeOf(action), position, position))
        thresholdText_->setText(QString::fromStdString(logic_.ThresholdText()));
}

void QtRecordingOptionsDialog::accept() {
    if (logic_.OnOk(minEdit_->text().toStdString(), maxEdit_->text().toStdString())) QDialog::accept();
}

void QtRecordingOptionsDialog::reject() {
    logic_.OnCancel();
    QDialog::reject();
}

}  // namespace sonotrap
