#include <gtest/gtest.h>

#include "capture/PeakLog.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

TEST(PeakLog, TimeTexts) {
    EXPECT_EQ(CaptureTimeText("0314152607"), "03/14 15:26:07");
    const std::pair<uint32_t, const char*> durations[] = {
        {0, "00:00:00 "},    {14, "00:00:01 "},  // 1.008 s
        {7, "00:00:01 "},                         // 0.504 s rounds up
        {6, "00:00:00 "},                         // 0.432 s
        {1000, "00:01:12 "}, {50000, "01:00:00 "},
        {5000000, "00:00:00 "},  // 100 hours wrap the two-digit hours
    };
    for (const auto& [blocks, text] : durations) EXPECT_EQ(DurationText(blocks), text) << blocks << " blocks";
}

TEST(PeakLog, RecordLinesByteForByteAndNothingWhenClosed) {
    CaptureRig rig;
    WritePeakLogRecord(rig.log, "0314152607", 1000, 440.5, -21.65);
    EXPECT_EQ(rig.LogBody(),
              "Date/time captured: 03/14 15:26:07\n"
              "File offset: 00:01:12 \n"
              "Peak frequency: 440.500hz, -21.6 dB\n"
              "\n");
    DiagnosticLog closed;
    WritePeakLogRecord(closed, "0314152607", 0, 1.0, -1.0);
    EXPECT_FALSE(closed.IsOpen());
}

}  // namespace
}  // namespace sonotrap::test
