#include "app/PlaybackClock.h"

#include "platform/Clock.h"
#include "platform/Thread.h"

namespace sonotrap {

namespace {
class SystemClock final : public PlaybackClock {
public:
    uint32_t Now() override { return MillisecondClock(); }
    void Sleep(uint32_t ms) override { SleepMs(ms); }
};
}  // namespace

PlaybackClock& SystemPlaybackClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace sonotrap
