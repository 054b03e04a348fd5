#pragma once
#include <QDialog>

namespace sonotrap {

// "About": the program icon, "Sonotrap Version 3.04" and OK.
class QtAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit QtAboutDialog(QWidget* owner);
};

}  // namespace sonotrap
