#include <gtest/gtest.h>

#include "capture/PeakLog.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

TEST(PeakLog, TimeTexts) {
    EXPECT_EQ(CaptureTimeText("0314152607"), "03/14 15:26:07");
    EXPECT_EQ(DurationText(0), "00:00:00 ");
    EXPECT_EQ(DurationText(14), "00:00:01 ");  // 1.008 s
    EXPECT_EQ(DurationText(7), "00:00:01 ");   // 0.504 s rounds up
    EXPECT_EQ(DurationText(6), "00:00:00 ");   // 0.432 s
    EXPECT_EQ(DurationText(1000), "00:01:12 ");
    EXPECT_EQ(DurationText(50000), "01:00:00 ");
    EXPECT_EQ(DurationText(5000000), "00:00:00 ");  // 100 hours wrap the two-digit hours
}

TEST(PeakLog, RecordLinesByteForByte) {
    TempDir dir;
    DiagnosticLog log;
    ASSERT_TRUE(log.LogOpen(dir.Path().string()));
    WritePeakLogRecord(log, "0314152607", 1000, 440.5, -21.65);
    EXPECT_EQ(LogBody(dir),
              "Date/time captured: 03/14 15:26:07\n"
              "File offset: 00:01:12 \n"
              "Peak frequency: 440.500hz, -21.6 dB\n"
              "\n");
}

TEST(PeakLog, ClosedLogWritesNothingAndDoesNotFail) {
    DiagnosticLog log;
    WritePeakLogRecord(log, "0314152607", 0, 1.0, -1.0);
    EXPECT_FALSE(log.IsOpen());
}

}  // namespace
}  // namespace sonotrap::test
