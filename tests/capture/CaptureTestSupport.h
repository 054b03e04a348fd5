#pragma once
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "log/DiagnosticLog.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSettings.h"
#include "capture/CaptureView.h"
#include "capture/CaptureWindow.h"
#include "support/TestSupport.h"

namespace sonotrap::test {

// A synthetic capture stream: sample s of the run (s >= 0) has a value no neighbour shares,
// so a test can tell which stream samples ended up in a file. Before the run: silence.
inline int16_t StreamSample(int64_t s) { return s < 0 ? 0 : static_cast<int16_t>((s * 7919 + 13) % 60001 - 30000); }

// Ten-digit time stamp of notification m: January 1st, m seconds after midnight.
inline std::string StampFor(int64_t m) {
    char text[16];
    std::snprintf(text, sizeof text, "0101%02d%02d%02d", int(m / 3600 % 24), int(m / 60 % 60), int(m % 60));
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
        const int64_t m = static_cast<int64_t>(k) - ((w.ringIndex - slot + kTimeStampSlots) % kTimeStampSlots);
        std::snprintf(w.timeStamps[static_cast<size_t>(slot)].data(), kTimeStampBytes, "%s", m > 0 ? StampFor(m).c_str() : "");
    }
    w.blocksCaptured = k;
    return w;
}

// The stream samples [from, from + count) as little-endian bytes.
inline std::vector<uint8_t> StreamBytes(int64_t from, int64_t count) {
    std::vector<uint8_t> bytes;
    for (int64_t s = from; s < from + count; ++s) {
        const auto v = static_cast<uint16_t>(StreamSample(s));
        bytes.insert(bytes.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    }
    return bytes;
}

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// A recording WAV file of dataBytes audio bytes: its length and its RIFF, fact and data sizes.
inline void ExpectWavSizes(const std::vector<uint8_t>& bytes, uint32_t dataBytes) {
    ASSERT_EQ(bytes.size(), 56u + dataBytes);
    EXPECT_EQ(Le32(bytes, 4), 48u + dataBytes);
    EXPECT_EQ(Le32(bytes, 44), dataBytes / 2);
    EXPECT_EQ(Le32(bytes, 52), dataBytes);
}

// Makes every file of the process stop growing at limit bytes (EFBIG instead of a signal).
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t limit) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit next = previous_;
        next.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &next);
    }
    ~ScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    void (*previousHandler_)(int);
    rlimit previous_{};
};

// Answers each analysis with the next scripted reading, then with the default one; remembers
// the bands it was asked for. Safe to use from the processing thread.
class ScriptedAnalysis : public BlockAnalysis {
public:
    void AnalyzeBlock(const int16_t*, float* peakHz, float* peakDb) override {
        std::lock_guard<std::mutex> lock(mutex_);
        bands_.emplace_back(*peakHz, *peakDb);
        std::tie(*peakHz, *peakDb) = script_.empty() ? std::make_pair(1000.0f, -90.0f) : script_.front();
        if (!script_.empty()) script_.pop_front();
    }
    void Push(float hz, float db, int times = 1) {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.insert(script_.end(), static_cast<size_t>(times), {hz, db});
    }
    std::vector<std::pair<float, float>> Bands() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return bands_;
    }

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
    void UpdateTimeAndSize(int32_t, int32_t) override {}
    std::mutex mutex_;
    int blocks = 0;
    bool lastShowVuText = false;
    std::vector<bool> banner;
};

// What a capture run writes into and reports to: an open log and WAV recordings in a fresh
// directory, a scripted analysis and a recording view.
struct CaptureRig {
    CaptureRig() {
        EXPECT_TRUE(log.LogOpen(dir.Path().string()));
        settings.outputMp3 = false;
        settings.SetRecordingDirectory(dir.Path().string());
    }
    CaptureServices Services(CaptureInputOpener opener) {
        CaptureServices s;
        s.log = &log;
        s.settings = &settings;
        s.openInput = std::move(opener);
        s.analysis = &analysis;
        s.view = &view;
        return s;
    }
    // The diagnostic log's text after its header ("Timer initialized").
    std::string LogBody() const {
        const std::string text = ReadFileText(dir.File("Sonotrap.Log"));
        const std::string mark = "Timer initialized\n";
        const size_t at = text.find(mark);
        return at == std::string::npos ? text : text.substr(at + mark.size());
    }

    TempDir dir;
    DiagnosticLog log;
    CaptureSettings settings;
    ScriptedAnalysis analysis;
    RecordingView view;
};

}  // namespace sonotrap::test
