#include "adapters/qt/QtGraphOptionsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSlider>

#include "adapters/qt/QtDialogUnits.h"
#include "adapters/qt/QtSliderCodes.h"

namespace sonotrap {

QtGraphOptionsDialog::QtGraphOptionsDialog(GraphOptionsDialogLogic& logic, QWidget* owner)
    : QDialog(owner), logic_(logic) {
    SetUpDialog(this, QStringLiteral("Graph Options..."), 186, 95);
    PlaceControl(new QGroupBox(QStringLiteral("Graph speed"), this), -1, 7, 7, 172, 30);
    AddStatic(this, "Faster", 12, 18, 23, 10);
    slider_ = new QSlider(Qt::Horizontal, this);
    PlaceControl(slider_, GraphOptionsDialogLogic::kSliderId, 47, 17, 92, 12);
    slider_->setTickPosition(QSlider::NoTicks);
    AddStatic(this, "Slower", 148, 18, 26, 10, true);
    normalize_ = new QCheckBox(QStringLiteral("Normalize"), this);
    PlaceControl(normalize_, GraphOptionsDialogLogic::kNormalizeId, 7, 41, 47, 10);
    QPushButton* ok = AddOkCancel(this, QRect(7, 74, 50, 14), QRect(129, 74, 50, 14));
    setTabOrder(slider_, normalize_);
    setTabOrder(normalize_, ok);

    logic_.OnInitDialog();
    normalize_->setChecked(logic_.NormalizeChecked());
    slider_->setRange(logic_.SliderMin(), logic_.SliderMax());
    slider_->setValue(logic_.PendingSpeed());
    connect(slider_, &QAbstractSlider::actionTriggered, this, [this](int action) {
        const int position = slider_->sliderPosition();
        logic_.OnSliderScroll(TrackbarCodeOf(action), position, position);
    });
    slider_->setFocus();
}

void QtGraphOptionsDialog::accept() {
    choice_ = logic_.OnOk(normalize_->isChecked());
    QDialog::accept();
}

}  // namespace sonotrap
