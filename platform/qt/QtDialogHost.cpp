#include "platform/qt/QtDialogHost.h"

#include "platform/qt/QtAboutDialog.h"
#include "platform/qt/QtFileIOOptionsDialog.h"
#include "platform/qt/QtGraphOptionsDialog.h"
#include "platform/qt/QtRecordingOptionsDialog.h"

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
