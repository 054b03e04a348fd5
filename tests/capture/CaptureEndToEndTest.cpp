#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <thread>

#include "tools/RecordingScan.h"
#include "capture/SpectrumBlockAnalysis.h"
#include "adapters/virtual/VirtualCaptureBuffer.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

constexpr int kRate = 32000;
constexpr int kBlock = 2304;
constexpr double kThreshold = 40.0;

struct Burst {
    int64_t start;
    int64_t length;
};

// Faint noise (about -60 dBFS) with loud 1 kHz bursts.
std::vector<int16_t> BurstsInNoise(const std::vector<Burst>& bursts, int64_t total) {
    std::vector<int16_t> s(static_cast<size_t>(total));
    uint32_t seed = 12345;
    for (auto& v : s) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<int16_t>(static_cast<int32_t>(seed >> 26) - 32);
    }
    for (const Burst& b : bursts) {
        for (int64_t i = 0; i < b.length; ++i) {
            const double x = 8000.0 * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / kRate);
            s[static_cast<size_t>(b.start + i)] = static_cast<int16_t>(s[static_cast<size_t>(b.start + i)] + std::lround(x));
        }
    }
    return s;
}

// A group of a recording: the notification numbers of its first and last current block.
struct Group {
    int64_t first;
    int64_t last;
};

// Finds where each block of a recording came from in the input (the current block of
// notification m is input samples [m*2304 - 3712, m*2304 - 1408)) and splits into groups.
std::vector<Group> GroupsOfRecording(const std::string& path, const std::vector<int16_t>& input) {
    std::map<std::vector<int16_t>, int64_t> origin;
    for (int64_t m = 2; m * kBlock - 1408 <= static_cast<int64_t>(input.size()); ++m) {
        const auto at = input.begin() + (m * kBlock - 3712);
        origin[std::vector<int16_t>(at, at + 16)] = m;
    }
    const auto bytes = ReadFileBytes(path);
    std::vector<Group> groups;
    for (size_t at = 56; at + 4608 <= bytes.size(); at += 4608) {
        std::vector<int16_t> key(16);
        std::memcpy(key.data(), bytes.data() + at, 32);
        const auto found = origin.find(key);
        if (found == origin.end()) {
            ADD_FAILURE() << "block at byte " << at << " is not from the input";
            return groups;
        }
        const int64_t m = found->second;
        if (!groups.empty() && groups.back().last + 1 == m) {
            groups.back().last = m;
        } else {
            groups.push_back({m, m});
        }
    }
    return groups;
}

// The groups that the trigger rule gives: a group runs from 6 blocks before its first
// triggering block to 7 after its last; triggers fewer than 8 blocks apart share a group.
std::vector<Group> ExpectedGroups(const std::vector<int16_t>& input) {
    SpectrumBlockAnalysis analysis;
    std::vector<int64_t> triggering;
    for (int64_t k = 7; k * kBlock <= static_cast<int64_t>(input.size()) + kBlock; ++k) {
        std::vector<int16_t> window(CaptureWindow::kSamples, 0);
        for (int64_t i = 0; i < CaptureWindow::kSamples; ++i) {
            const int64_t s = k * kBlock - CaptureWindow::kSamples + i;
            if (s >= 0 && s < static_cast<int64_t>(input.size())) window[static_cast<size_t>(i)] = input[static_cast<size_t>(s)];
        }
        float hz = 16.0f, db = 16000.0f;
        analysis.AnalyzeBlock(window.data(), &hz, &db);
        if (kThreshold >= -static_cast<double>(db) && hz >= 16.0f && hz < 16000.0f) triggering.push_back(k);
    }
    std::vector<Group> groups;
    for (int64_t t : triggering) {
        if (!groups.empty() && t - 7 <= groups.back().last) {
            groups.back().last = t + 7;
        } else {
            groups.push_back({t - 6, t + 7});
        }
    }
    return groups;
}

class CaptureEndToEnd : public ::testing::Test {
protected:
    // The groups of the run's one recording match the trigger rule's, within tolerance blocks.
    void ExpectGroups(const RecorderTotals& totals, int64_t tolerance) {
        ASSERT_EQ(totals.files.size(), 1u);
        const auto groups = GroupsOfRecording(totals.files[0], input);
        ASSERT_EQ(groups.size(), expected.size());
        for (size_t g = 0; g < groups.size(); ++g) {
            EXPECT_NEAR(groups[g].first, expected[g].first, tolerance) << "group " << g;
            EXPECT_NEAR(groups[g].last, expected[g].last, tolerance) << "group " << g;
            // The whole burst is inside its group.
            EXPECT_LE(groups[g].first * kBlock - 3712, bursts[g].start);
            EXPECT_GE(groups[g].last * kBlock - 1408, bursts[g].start + bursts[g].length);
        }
        EXPECT_EQ(totals.groups, bursts.size());
    }

    std::vector<Burst> bursts = {{32000, 4800}, {80000, 4800}, {128000, 6400}};
    std::vector<int16_t> input = BurstsInNoise(bursts, 176000);
    std::vector<Group> expected = ExpectedGroups(input);
};

TEST_F(CaptureEndToEnd, LockStepScanKeepsEachBurstWithItsPreRollAndHold) {
    ASSERT_EQ(expected.size(), bursts.size());
    TempDir dir;
    ScanOptions options;
    options.outputDirectory = dir.Path().string();
    options.mp3 = false;
    options.threshold = kThreshold;
    options.start = 1700000000;
    const ScanResult result = ScanRecording(input, options);
    ASSERT_TRUE(result.ok);
    ExpectGroups(result.totals, 0);
    // Named after the first block it holds: 72 ms per notification from the start.
    EXPECT_EQ(result.totals.files.at(0),
              dir.File(ScanTimeStamp(1700000000, static_cast<uint64_t>(expected[0].first - 1) * 72) + ".wav"));
}

TEST_F(CaptureEndToEnd, RealTimeThreadedRunKeepsTheSameGroupsWithinOneBlock) {
    CaptureRig rig;
    rig.settings.threshold = kThreshold;
    SpectrumBlockAnalysis analysis;
    VirtualCapturePacing pacing;
    pacing.lockStep = false;
    pacing.blockIntervalMs = 72.0;
    VirtualCaptureInput* virtualInput = nullptr;
    CaptureServices services = rig.Services([&] {
        auto made = std::make_unique<VirtualCaptureInput>(MakeSampleSource(input), pacing);
        virtualInput = made.get();
        return made;
    });
    services.analysis = &analysis;
    CaptureDevice device(services);
    ASSERT_TRUE(device.InitCapture());
    ASSERT_TRUE(device.StartCapture(false));
    ASSERT_TRUE(virtualInput->LastBuffer()->WaitUntilDrained(30000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    device.StopCapture();
    device.CloseRecordingFile();
    ExpectGroups(device.GetRecorder().Totals(), 1);
    // The readout followed the file; the banner went off once per group (on is asked for at
    // every triggering block).
    EXPECT_FALSE(rig.view.sizes.empty());
    EXPECT_EQ(std::count(rig.view.banner.begin(), rig.view.banner.end(), false), static_cast<long>(expected.size()));
    EXPECT_TRUE(rig.view.banner.front());
}

}  // namespace
}  // namespace sonotrap::test
