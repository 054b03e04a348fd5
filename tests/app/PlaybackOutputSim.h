#pragma once
// Simulated time for the playback tests: the playback thread's sleeps move a clock and the
// virtual sound buffer on together, so a whole run is deterministic and takes no real time.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/DiagnosticLog.h"
#include "app/PlaybackClock.h"
#include "app/PlaybackOutput.h"
#include "platform/AutoResetEvent.h"
#include "platform/Thread.h"
#include "adapters/virtual/VirtualSoundBuffer.h"
#include "support/TestSupport.h"

namespace sonotrap::test {

// Every Sleep(ms) moves the clock and the attached buffer on by ms (plus a stall the test
// planted), then runs the hook on the sleeping thread. Once the clock has passed the end, time
// stands still: sleeps become real 1 ms naps until the test stops the thread.
class SimPlaybackClock : public PlaybackClock {
public:
    static constexpr uint32_t kStart = 100000;

    void Attach(VirtualSoundBuffer* buffer) { Locked([&] { buffer_ = buffer; }); }
    void SetEnd(uint32_t msFromStart) { Locked([&] { end_ = kStart + msFromStart; }); }
    void SetHook(std::function<void()> hook) { Locked([&] { hook_ = std::move(hook); }); }
    // The next sleep lasts totalMs whatever was asked: the thread was held up (callable from
    // the hook).
    void StretchNextSleep(uint32_t totalMs) { Locked([&] { stretch_ = totalMs; stretchPending_ = true; }); }
    bool Finished() { return Locked([&] { return finished_; }); }
    // Sleeps taken while time ran, and those of 0 ms among them (a busy wait).
    std::atomic<int> sleeps{0}, emptySleeps{0};
    uint32_t ElapsedMs() { return Now() - kStart; }
    uint32_t Now() override { return Locked([&] { return now_; }); }

    void Sleep(uint32_t ms) override {
        std::function<void()> hook;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (finished_) {
                lock.unlock();
                SleepMs(1);
                return;
            }
            ++sleeps;
            if (ms == 0) ++emptySleeps;
            uint32_t span = ms;
            if (stretchPending_) {
                span = stretch_;
                stretchPending_ = false;
            }
            now_ += span;
            if (buffer_) buffer_->Advance(span);
            if (end_ != 0 && now_ >= end_) finished_ = true;
            hook = hook_;
        }
        if (hook) hook();
    }

private:
    template <typename F>
    auto Locked(F f) -> decltype(f()) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f();
    }

    std::mutex mutex_;
    VirtualSoundBuffer* buffer_ = nullptr;
    std::function<void()> hook_;
    uint32_t now_ = kStart;
    uint32_t end_ = 0;
    uint32_t stretch_ = 0;
    bool stretchPending_ = false;
    bool finished_ = false;
};

// A source of numbered music blocks standing in for the loaded file's pipeline: both halves
// hold one block each (every sample equal to its number, counting from 1), and each wake
// moves both on by two, as a tick does.
class NumberedSource {
public:
    NumberedSource() { Write(); }
    PlaybackSource Source() { return PlaybackSource{bytes_, &lock_, &wake_}; }
    // Runs on the playback thread from the clock's hook: the supplier answering a wake at once.
    // True when there was a wake to answer.
    bool Serve() {
        if (!wake_.Wait(0)) return false;
        ++serves_;
        std::lock_guard<std::mutex> lock(lock_);
        next_ += 2;
        Write();
        return true;
    }
    int Serves() const { return serves_; }

private:
    void Write() {
        int16_t samples[PlaybackOutput::kSamplesPerBlock];
        for (uint32_t i = 0; i < PlaybackOutput::kSamplesPerBlock; ++i)
            samples[i] = static_cast<int16_t>(i < 1152 ? next_ : next_ + 1);
        std::memcpy(bytes_, samples, sizeof samples);
    }
    uint8_t bytes_[PlaybackOutput::kBlockBytes] = {};
    std::mutex lock_;
    AutoResetEvent wake_;
    int next_ = 1;
    int serves_ = 0;
};

// The played stream in output blocks of 4608 bytes: 0 for silence, k for the two music blocks
// 2k-1 and 2k that one wake of a NumberedSource provides, -1 for anything else (a torn block).
inline std::vector<int> PlayedOutputBlocks(const std::vector<uint8_t>& played) {
    std::vector<int16_t> samples(played.size() / 2);
    std::memcpy(samples.data(), played.data(), samples.size() * 2);
    std::vector<int> blocks;
    auto same = [](auto from, int value) {
        return std::all_of(from, from + 1152, [&](int16_t s) { return s == value; });
    };
    for (auto at = samples.begin(); samples.end() - at >= 2304; at += 2304) {
        const int a = *at;
        const bool whole = same(at, a) && same(at + 1152, a == 0 ? 0 : a + 1);
        blocks.push_back(!whole ? -1 : a == 0 ? 0 : a % 2 == 1 ? (a + 1) / 2 : -1);
    }
    return blocks;
}

// A playback output on a virtual device in simulated time, with a numbered source and a
// diagnostic log in a temporary directory.
struct PlaybackRigBase {
    TempDir dir;
    DiagnosticLog log;
    SimPlaybackClock clock;
    VirtualSoundOutput device;
    NumberedSource source;
    PlaybackOutput output{&device, log, clock};

    explicit PlaybackRigBase(uint32_t lead) : device(lead) { log.LogOpen(dir.Path().string()); }
    VirtualSoundBuffer* Buffer() { return device.LastBuffer(); }
    // Starts the output on a fresh buffer that simulated time drives for runMs.
    bool Begin(uint32_t runMs, const PlaybackSource* playing) {
        if (!output.InitPlaybackOutput()) return false;
        clock.Attach(Buffer());
        clock.SetEnd(runMs);
        if (playing) output.SetSource(*playing);
        return output.StartPlaybackOutput();
    }
    // Waits until simulated time has run out: fails at once when the playback thread left
    // before, and after kWaitLimit when time stands still.
    ::testing::AssertionResult WaitRunOut() {
        if (WaitUntil([&] { return clock.Finished() || !output.IsThreadRunning(); }) && clock.Finished())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "simulated time stopped at " << clock.ElapsedMs() << " ms"
                                             << (output.IsThreadRunning() ? "" : ": the playback thread left");
    }
    std::string LogText() {
        log.LogClose();
        return ReadFileText(dir.File("Sonotrap.Log"));
    }
};

}  // namespace sonotrap::test
