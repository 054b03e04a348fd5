#pragma once
#include <optional>

namespace sonotrap {

// Trackbar notification codes the option dialogs react to.
enum TrackbarCode {
    kTrackbarLineUp = 0,
    kTrackbarLineDown = 1,
    kTrackbarPageUp = 2,
    kTrackbarPageDown = 3,
    kTrackbarThumbPosition = 4,
    kTrackbarThumbTrack = 5,
    kTrackbarTop = 6,
    kTrackbarBottom = 7,
    kTrackbarEndTrack = 8,
};

// The slider value a scroll notification carries: the trackbar's position for line and page
// steps, the thumb's position while it is dragged; nothing for every other code.
inline std::optional<int> TrackbarScrollValue(int code, int trackbarPosition, int thumbPosition) {
    if (code >= kTrackbarLineUp && code <= kTrackbarPageDown) return trackbarPosition;
    if (code == kTrackbarThumbTrack) return thumbPosition;
    return std::nullopt;
}

}  // namespace sonotrap
