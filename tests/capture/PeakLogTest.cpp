#include <gtest/gtest.h>

#include "capture/PeakLog.h"
#include "support/TestSupport.h"

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

}  // namespace
}  // namespace sonotrap::test
