#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/DiagnosticLog.h"
#include "capture/CaptureView.h"
#include "capture/CaptureWindow.h"
#include "platform/CaptureBuffer.h"
#include "support/TestSupport.h"

namespace sonotrap::test {

// A synthetic capture stream: sample s of the run (s >= 0) has a value no neighbour shares,
// so a test can tell which stream samples ended up in a file. Before the run: silence.
inline int16_t StreamSample(int64_t s) {
    if (s < 0) return 0;
    return static_cast<int16_t>((s * 7919 + 13) % 60001 - 30000);
}

// Ten-digit time stamp of notification m: January 1st, m seconds after midnight.
inline std::string StampFor(uint32_t m) {
    char text[16];
    std::snprintf(text, sizeof text, "0101%02u%02u%02u", (m / 3600) % 24, (m / 60) % 60, m % 60);
    return text;
}

// The capture window of notification k (k >= 1) over the synthetic stream, as the capture
// thread makes it: the 17536 samples ending with block k, the ring holding each slot's stamp.
inline CaptureWindow StreamWindow(uint32_t k) {
    CaptureWindow w;
    const int64_t first = static_cast<int64_t>(k) * 2304 - CaptureWindow::kSamples;
    for (uint32_t i = 0; i < CaptureWindow::kSamples; ++i) w.samples[i] = StreamSample(first + i);
    w.ringIndex = static_cast<int>(k % kTimeStampSlots);
    for (int slot = 0; slot < kTimeStampSlots; ++slot) {
        // the newest notification m <= k with m % 7 == slot
        int64_t m = static_cast<int64_t>(k) - ((w.ringIndex - slot + kTimeStampSlots) % kTimeStampSlots);
        const std::string stamp = m > 0 ? StampFor(static_cast<uint32_t>(m)) : std::string();
        std::snprintf(w.timeStamps[static_cast<size_t>(slot)].data(), kTimeStampBytes, "%s", stamp.c_str());
    }
    w.blocksCaptured = k;
    return w;
}

// The stream samples [from, from + count) as little-endian bytes.
inline std::vector<uint8_t> StreamBytes(int64_t from, int64_t count) {
    std::vector<uint8_t> bytes;
    for (int64_t s = from; s < from + count; ++s) {
        const auto v = static_cast<uint16_t>(StreamSample(s));
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    return bytes;
}

// Answers each analysis with the next scripted reading, then with the default one; remembers
// the bands it was asked for. Safe to use from the processing thread.
class ScriptedAnalysis : public BlockAnalysis {
public:
    void AnalyzeBlock(const int16_t*, float* peakHz, float* peakDb) override {
        std::lock_guard<std::mutex> lock(mutex_);
        bands_.emplace_back(*peakHz, *peakDb);
        if (!script_.empty()) {
            std::tie(*peakHz, *peakDb) = script_.front();
            script_.pop_front();
        } else {
            *peakHz = defaultHz;
            *peakDb = defaultDb;
        }
    }
    void Push(float hz, float db, int times = 1) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int i = 0; i < times; ++i) script_.emplace_back(hz, db);
    }
    size_t Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return bands_.size();
    }
    std::pair<float, float> Band(size_t call) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return bands_.at(call);
    }

    float defaultHz = 1000.0f;
    float defaultDb = -90.0f;

private:
    mutable std::mutex mutex_;
    std::deque<std::pair<float, float>> script_;
    std::vector<std::pair<float, float>> bands_;
};

// Records what the processing step showed.
class RecordingView : public CaptureView {
public:
    void ShowBlock(bool showVuText, const int16_t*, float, float) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++blocks;
        lastShowVuText = showVuText;
    }
    void ShowRecordingBanner(bool on) override {
        std::lock_guard<std::mutex> lock(mutex_);
        banner.push_back(on);
    }
    void UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        sizes.emplace_back(seconds, kilobytes);
    }
    std::mutex mutex_;
    int blocks = 0;
    bool lastShowVuText = false;
    std::vector<bool> banner;
    std::vector<std::pair<int32_t, int32_t>> sizes;
};

// The diagnostic log's text after its header ("Timer initialized").
inline std::string LogBody(const TempDir& dir) {
    const std::string text = ReadFileText(dir.File("Sonotrap.Log"));
    const std::string mark = "Timer initialized\n";
    const size_t at = text.find(mark);
    return at == std::string::npos ? text : text.substr(at + mark.size());
}

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

}  // namespace sonotrap::test
