#pragma once
#include <QDialog>

class QRadioButton;

namespace sonotrap {

class FileIOOptionsDialogLogic;

// "File IO options...": three pairs of radio buttons (output mp3/wav, peak logging On/Off,
// limit file size On/Off), each pair exclusive on its own. OK stores all three.
class QtFileIOOptionsDialog : public QDialog {
    Q_OBJECT
public:
    QtFileIOOptionsDialog(FileIOOptionsDialogLogic& logic, QWidget* owner);

    void accept() override;

private:
    QRadioButton* AddPair(int onId, const char* onText, int offId, const char* offText, int y, int offY,
                          QRadioButton** off);

    FileIOOptionsDialogLogic& logic_;
    QRadioButton* mp3_;
    QRadioButton* peakOn_;
    QRadioButton* limitOn_;
};

}  // namespace sonotrap
