#pragma once
// Shared pieces of the loaded-music tests: numbered WAV files, a clock that moves only when
// slept on, and a display that records what it was asked to show.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/LoadedMusic.h"
#include "app/PlaybackClock.h"
#include "platform/Thread.h"
#include "support/TestSupport.h"
#include "support/WavBytes.h"

namespace sonotrap::test {

// Writes a 16-bit mono 32 kHz WAV file of the given samples.
inline bool WriteMonoWav(const std::string& path, const std::vector<int16_t>& samples) {
    return WriteFileBytes(path, MakePcmWav(1, 32000, samples));
}

// Samples whose value tells where they stand: sample i of the file is (i % 30000) + 1, so no
// sample is 0 and two music blocks never look alike.
inline std::vector<int16_t> CountingSamples(size_t count) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(i % 30000 + 1);
    return samples;
}

// Time that moves only when someone sleeps.
class StepClock : public PlaybackClock {
public:
    uint32_t Now() override { return now_.load(); }
    void Sleep(uint32_t ms) override {
        now_.fetch_add(ms);
        std::this_thread::yield();
    }

private:
    std::atomic<uint32_t> now_{50000};
};

// Records the display calls of the ticks (made on the event service thread).
class RecordingDisplay : public MusicBlockDisplay {
public:
    struct Shown {
        int32_t seconds = -1;
        std::vector<int16_t> window;
        double level = -1;
        bool meters = false;
        bool drawn = false;
    };
    std::atomic<bool> ready{true};
    std::atomic<bool> bandWasZero{true};     // every analysis began with a zero peak
    std::atomic<bool> kilobytesSeen{false};  // a size other than 0 was shown
    float reportHz = 440.0f;
    float reportDb = -12.5f;

    void UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        shown_.push_back(Shown{});
        shown_.back().seconds = seconds;
        if (kilobytes != 0) kilobytesSeen = true;
    }
    void AnalyzeBlock(const int16_t* window, float* peakHz, float* peakDb) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (*peakHz != 0.0f || *peakDb != 0.0f) bandWasZero = false;
        shown_.back().window.assign(window, window + LoadedMusic::kWindowSamples);
        *peakHz = reportHz;
        *peakDb = reportDb;
    }
    bool IsReady() override { return ready; }
    void UpdateMetersAndReadouts(bool showVuText, double level, float peakHz, float peakDb) override {
        std::lock_guard<std::mutex> lock(mutex_);
        shown_.back().level = level;
        shown_.back().meters = showVuText && peakHz == reportHz && peakDb == reportDb;
    }
    void DrawGraph() override {
        std::lock_guard<std::mutex> lock(mutex_);
        shown_.back().drawn = true;
    }
    std::vector<Shown> Shows() {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }

private:
    std::mutex mutex_;
    std::vector<Shown> shown_;
};

// Waits (in real time, bounded) until the loaded file has finished count ticks.
inline bool WaitForTicks(const LoadedMusic& music, uint32_t count) {
    return WaitUntil([&] { return music.TicksCompleted() >= count; });
}

inline std::vector<int16_t> SlotSamples(const LoadedMusic& music, int slot) {
    std::vector<int16_t> samples(LoadedMusic::kMusicBlockSamples);
    std::memcpy(samples.data(), music.SampleBuffer() + LoadedMusic::SlotOffset(slot), LoadedMusic::kMusicBlockBytes);
    return samples;
}

// Music block k of a file of the given samples, zero-padded at the end.
inline std::vector<int16_t> FileBlock(const std::vector<int16_t>& file, size_t k) {
    std::vector<int16_t> block(LoadedMusic::kMusicBlockSamples, 0);
    for (size_t i = 0; i < block.size() && k * block.size() + i < file.size(); ++i) block[i] = file[k * block.size() + i];
    return block;
}

}  // namespace sonotrap::test
