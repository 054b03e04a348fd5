#include "adapters/qt/QtAboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "adapters/qt/QtDialogUnits.h"

namespace sonotrap {

QtAboutDialog::QtAboutDialog(QWidget* owner) : QDialog(owner) {
    SetUpDialog(this, QStringLiteral("About"), 230, 75);
    auto* icon = new QLabel(this);
    PlaceControl(icon, -1, 14, 9, 20, 20);
    icon->setPixmap(QPixmap(QStringLiteral(":/bitmaps/107.png")));
    icon->setScaledContents(true);
    auto* text = new QLabel(QStringLiteral("Sonotrap Version 3.04"), this);
    text->setTextFormat(Qt::PlainText);  // no prefix or markup processing
    PlaceControl(text, -1, 49, 10, 119, 8);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(ok, 1, 195, 6, 30, 11);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace sonotrap
