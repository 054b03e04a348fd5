#pragma once
#include <QAbstractSlider>

#include "app/TrackbarScroll.h"

namespace sonotrap {

// The trackbar notification code of a Qt slider action: steps and pages keep their codes, a
// drag is thumb tracking, a jump to either end is top or bottom.
inline int TrackbarCodeOf(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub: return kTrackbarLineUp;
        case QAbstractSlider::SliderSingleStepAdd: return kTrackbarLineDown;
        case QAbstractSlider::SliderPageStepSub: return kTrackbarPageUp;
        case QAbstractSlider::SliderPageStepAdd: return kTrackbarPageDown;
        case QAbstractSlider::SliderMove: return kTrackbarThumbTrack;
        case QAbstractSlider::SliderToMinimum: return kTrackbarTop;
        case QAbstractSlider::SliderToMaximum: return kTrackbarBottom;
        default: return kTrackbarEndTrack;
    }
}

}  // namespace sonotrap
