#pragma once
#include <QDialog>

class QLineEdit;
class QSlider;

namespace sonotrap {

class RecordingOptionsDialogLogic;

// "Recording options...": the trigger sensitivity slider (live during a capture run) with its
// read-only "-T dB" text, the minimum and maximum trigger frequencies, OK and Cancel. Escape
// and the close button count as Cancel.
class QtRecordingOptionsDialog : public QDialog {
    Q_OBJECT
public:
    QtRecordingOptionsDialog(RecordingOptionsDialogLogic& logic, QWidget* owner);

    void accept() override;
    void reject() override;

private:
    void OnSliderAction(int action);

    RecordingOptionsDialogLogic& logic_;
    QSlider* slider_;
    QLineEdit* thresholdText_;
    QLineEdit* minEdit_;
    QLineEdit* maxEdit_;
};

}  // namespace sonotrap
