#pragma once

#include "app/FileIOOptionsDialogLogic.h"
#include "app/GraphOptionsDialogLogic.h"
#include "app/RecordingOptionsDialogLogic.h"

namespace sonotrap {

// Runs the option dialogs modally over the main window. Each dialog begins with its logic's
// OnInitDialog and drives the logic with what the user does; true when it ended with OK.
class DialogHost {
public:
    virtual ~DialogHost() = default;
    virtual bool RunAboutDialog() = 0;
    virtual bool RunRecordingOptionsDialog(RecordingOptionsDialogLogic& logic) = 0;
    // On OK, *choice holds what the analyser should take.
    virtual bool RunGraphOptionsDialog(GraphOptionsDialogLogic& logic, GraphOptionsDialogLogic::Choice* choice) = 0;
    virtual bool RunFileIOOptionsDialog(FileIOOptionsDialogLogic& logic) = 0;
};

}  // namespace sonotrap
