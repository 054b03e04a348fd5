#pragma once
#include <cstdint>

namespace sonotrap {

// Time as the playback side sees it: the millisecond clock and sleeps. The playback and event
// service threads take all their timing from one of these, so tests can run them in simulated
// time (a Sleep that moves the clock and the virtual sound buffer on by the same amount).
class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    virtual uint32_t Now() = 0;  // milliseconds, wrapping at 2^32
    virtual void Sleep(uint32_t ms) = 0;
};

// The machine's clock and real sleeps.
PlaybackClock& SystemPlaybackClock();

}  // namespace sonotrap
