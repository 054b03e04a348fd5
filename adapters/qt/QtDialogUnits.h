#pragma once
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QWidget>

namespace sonotrap {

// The face the option dialogs are laid out for: 8 points, as the templates were.
inline QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPixelSize(11);
    return font;
}

// Dialog templates give positions in dialog units of the dialog's face: a quarter of its
// average letter width across and an eighth of its line height down.
inline QRect DialogRect(const QWidget* dialog, int x, int y, int width, int height) {
    const QFontMetrics metrics(dialog->font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    const int baseY = metrics.height();
    auto across = [baseX](int units) { return units * baseX / 4; };
    auto down = [baseY](int units) { return units * baseY / 8; };
    return QRect(across(x), down(y), across(width), down(height));
}

// Places a control at its template position and names it after its identifier ("id1003"),
// so tests and the user's tools can find it.
inline void PlaceControl(QWidget* control, int id, int x, int y, int width, int height) {
    control->setGeometry(DialogRect(control->parentWidget(), x, y, width, height));
    if (id >= 0) control->setObjectName(QStringLiteral("id%1").arg(id));
}

// A static text at its template position, left- or right-aligned.
inline QLabel* AddStatic(QWidget* dialog, const char* text, int x, int y, int width, int height, bool right = false) {
    auto* label = new QLabel(QString::fromLatin1(text), dialog);
    PlaceControl(label, -1, x, y, width, height);
    label->setTextFormat(Qt::PlainText);
    if (right) label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// The default "OK" (id 1) and "Cancel" (id 2) buttons at their template positions, wired to
// accept and reject. Returns OK.
inline QPushButton* AddOkCancel(QDialog* dialog, const QRect& ok, const QRect& cancel) {
    auto* okButton = new QPushButton(QStringLiteral("OK"), dialog);
    PlaceControl(okButton, 1, ok.x(), ok.y(), ok.width(), ok.height());
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), dialog);
    PlaceControl(cancelButton, 2, cancel.x(), cancel.y(), cancel.width(), cancel.height());
    QObject::connect(okButton, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancelButton, &QPushButton::clicked, dialog, &QDialog::reject);
    QWidget::setTabOrder(okButton, cancelButton);
    return okButton;
}

// A fixed-size modal dialog of the template's size with its caption.
inline void SetUpDialog(QWidget* dialog, const QString& caption, int width, int height) {
    dialog->setWindowTitle(caption);
    dialog->setFont(DialogFont());
    dialog->setFixedSize(DialogRect(dialog, 0, 0, width, height).size());
}

}  // namespace sonotrap
