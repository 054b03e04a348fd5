#pragma once
#include <atomic>
#include <cstdint>

namespace sonotrap {

// The mode and run flags of the shell. Read from worker threads, so each is atomic.
struct ShellState {
    std::atomic<int32_t> modeIndex{0};  // 0 Monitor, 1 Record, 2 Playback
    std::atomic<bool> captureSide{false};
    std::atomic<bool> running{false};
    std::atomic<bool> fileLoaded{false};
    std::atomic<bool> playbackPrepared{false};
    std::atomic<bool> clicksEnabled{true};
    std::atomic<bool> captureReady{true};
    std::atomic<bool> monitorOnly{true};
};

}  // namespace sonotrap
