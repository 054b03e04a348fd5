#include "app/GraphOptionsDialogLogic.h"

#include "app/TrackbarScroll.h"

namespace sonotrap {

void GraphOptionsDialogLogic::OnSliderScroll(int code, int trackbarPosition, int thumbPosition) {
    if (std::optional<int> value = TrackbarScrollValue(code, trackbarPosition, thumbPosition)) pendingSpeed_ = *value;
}

}  // namespace sonotrap
