#include "app/FileIOOptionsDialogLogic.h"

namespace sonotrap {

FileIOOptionsDialogLogic::Checks FileIOOptionsDialogLogic::OnInitDialog() const {
    return {settings_.OutputMp3(), settings_.PeakLogging(), !settings_.SizeUnlimited()};
}

void FileIOOptionsDialogLogic::OnOk(const Checks& checks) {
    settings_.SetOutputMp3(checks.mp3);
    settings_.SetPeakLogging(checks.peakOn);
    settings_.SetSizeUnlimited(!checks.limitOn);
}

}  // namespace sonotrap
