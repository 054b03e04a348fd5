#include "adapters/qt/QtDialogHost.h"

#include "adapters/qt/QtAboutDialog.h"
#include "adapters/qt/QtFileIOOptionsDialog.h"
#include "adapters/qt/QtGraphOptionsDialog.h"
#include "adapters/qt/QtRecordingOptionsDialog.h"

namespace sonotrap {

bool QtDialogHost::RunAboutDialog() {
    QtAboutDialog dialog(owner_);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogHost::RunRecordingOptionsDialog(RecordingOptionsDialogLogic& logic) {
    QtRecordingOptionsDialog dialog(logic, owner_);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogHost::RunGraphOptionsDialog(GraphOptionsDialogLogic& logic, GraphOptionsDialogLogic::Choice* choice) {
    QtGraphOptionsDialog dialog(logic, owner_);
    if (dialog.exec() != QDialog::Accepted) return false;
    *choice = dialog.Choice();
    return true;
}

bool QtDialogHost::RunFileIOOptionsDialog(FileIOOptionsDialogLogic& logic) {
    QtFileIOOptionsDialog dialog(logic, owner_);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace sonotrap
