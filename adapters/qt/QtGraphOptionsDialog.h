#pragma once
#include <QDialog>

#include "app/GraphOptionsDialogLogic.h"

class QCheckBox;
class QSlider;

namespace sonotrap {

// "Graph Options...": the graph speed slider (1 fastest .. 16) and the Normalize check box.
// Nothing takes effect before OK; Choice() then holds what the analyser should take.
class QtGraphOptionsDialog : public QDialog {
    Q_OBJECT
public:
    QtGraphOptionsDialog(GraphOptionsDialogLogic& logic, QWidget* owner);

    void accept() override;
    GraphOptionsDialogLogic::Choice Choice() const { return choice_; }

private:
    GraphOptionsDialogLogic& logic_;
    QSlider* slider_;
    QCheckBox* normalize_;
    GraphOptionsDialogLogic::Choice choice_{};
};

}  // namespace sonotrap
