#pragma once
#include "app/DialogHost.h"

class QWidget;

namespace sonotrap {

// Runs the option dialogs as Qt dialogs owned by the main window.
class QtDialogHost : public DialogHost {
public:
    explicit QtDialogHost(QWidget* owner) : owner_(owner) {}

    bool RunAboutDialog() override;
    bool RunRecordingOptionsDialog(RecordingOptionsDialogLogic& logic) override;
    bool RunGraphOptionsDialog(GraphOptionsDialogLogic& logic, GraphOptionsDialogLogic::Choice* choice) override;
    bool RunFileIOOptionsDialog(FileIOOptionsDialogLogic& logic) override;

private:
    QWidget* owner_;
};

}  // namespace sonotrap
