#pragma once
#include <cstdint>

namespace sonotrap {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system timer the timing
// rules were written for; compare times by unsigned difference.
uint32_t MillisecondClock();

}  // namespace sonotrap
