#include "display/FormatDecimal.h"

#include <gtest/gtest.h>

#include <limits>

namespace sonotrap {
namespace {

TEST(FormatDecimalTest, TruncatesEveryDigit) {
    EXPECT_EQ(FormatDecimal(1, -23.46), "-23.4");
    EXPECT_EQ(FormatDecimal(3, 16.35), "16.350");
    EXPECT_EQ(FormatDecimal(1, -0.5), "-0.5");
    EXPECT_EQ(FormatDecimal(0, 7.9), "7.");
    EXPECT_EQ(FormatDecimal(1, 9999.96), "9999.9");
    EXPECT_EQ(FormatDecimal(2, 440.0068), "440.00");
}

TEST(FormatDecimalTest, DigitsComeFromTheBinaryFraction) {
    // 1.2 and 0.12 are stored slightly below their decimal value.
    EXPECT_EQ(FormatDecimal(1, 1.2), "1.1");
    EXPECT_EQ(FormatDecimal(2, 0.12), "0.11");
    EXPECT_EQ(FormatDecimal(1, 0.5), "0.5");
}

TEST(FormatDecimalTest, ZeroGetsItsDecimalsAsZeros) {
    EXPECT_EQ(FormatDecimal(2, 0.0), "0.00");
    EXPECT_EQ(FormatDecimal(1, -0.0), "0.0");
    EXPECT_EQ(FormatDecimal(0, 0.0), "0.");
    EXPECT_EQ(FormatDecimal(-3, 0.0), "0.");
    EXPECT_EQ(FormatDecimal(15, 0.0), "0.000000000000000");
    EXPECT_EQ(FormatDecimal(16, 0.0), "ERR");
}

TEST(FormatDecimalTest, NegativeDecimalsWriteNoFraction) { EXPECT_EQ(FormatDecimal(-1, 3.75), "3."); }

TEST(FormatDecimalTest, AtMostElevenFractionDigits) {
    EXPECT_EQ(FormatDecimal(13, 0.5), "0.50000000000");
}

TEST(FormatDecimalTest, TextsThatWouldReachSixteenCharactersAreErr) {
    // "123456." is 7 characters: 8 decimals reach 15, 9 would reach 16.
    EXPECT_EQ(FormatDecimal(8, 123456.25), "123456.25000000");
    EXPECT_EQ(FormatDecimal(9, 123456.25), "ERR");
    EXPECT_EQ(FormatDecimal(3, -4294967295.0), "-4294967295.000");
    EXPECT_EQ(FormatDecimal(4, -4294967295.0), "ERR");
}

TEST(FormatDecimalTest, MagnitudesBeyondThirtyTwoBitsAreErr) {
    EXPECT_EQ(FormatDecimal(1, 4294967295.0), "4294967295.0");
    EXPECT_EQ(FormatDecimal(1, 4294967296.0), "ERR");
    EXPECT_EQ(FormatDecimal(1, -5e9), "ERR");
    EXPECT_EQ(FormatDecimal(1, 1e300), "ERR");
    EXPECT_EQ(FormatDecimal(1, std::numeric_limits<double>::infinity()), "ERR");
    EXPECT_EQ(FormatDecimal(1, std::numeric_limits<double>::quiet_NaN()), "ERR");
    // Integer parts above the signed 32-bit range are still written.
    EXPECT_EQ(FormatDecimal(0, 3000000000.5), "3000000000.");
}

TEST(FormatTimeAndSizeTest, TimeIsHoursMinutesSecondsWithHoursModuloHundred) {
    std::string time;
    FormatTimeAndSize(3725, 0, &time, nullptr);
    EXPECT_EQ(time, "01:02:05");
    FormatTimeAndSize(0, 0, &time, nullptr);
    EXPECT_EQ(time, "00:00:00");
    FormatTimeAndSize(360000, 0, &time, nullptr);
    EXPECT_EQ(time, "00:00:00");
    FormatTimeAndSize(359999, 0, &time, nullptr);
    EXPECT_EQ(time, "99:59:59");
    FormatTimeAndSize(-5, 0, &time, nullptr);
    EXPECT_EQ(time, "00:00:00");
}

TEST(FormatTimeAndSizeTest, SizeInKilobytesThenMegabytes) {
    std::string size;
    FormatTimeAndSize(0, 512, nullptr, &size);
    EXPECT_EQ(size, "512 kb");
    FormatTimeAndSize(0, 1023, nullptr, &size);
    EXPECT_EQ(size, "1023 kb");
    FormatTimeAndSize(0, 1024, nullptr, &size);
    EXPECT_EQ(size, "1.0 mb");
    FormatTimeAndSize(0, 1536, nullptr, &size);
    EXPECT_EQ(size, "1.5 mb");
    FormatTimeAndSize(0, 5119, nullptr, &size);
    EXPECT_EQ(size, "4.9 mb");
}

TEST(FormatTimeAndSizeTest, LeavesTextsNotAskedForAlone) {
    std::string time = "keep";
    std::string size = "keep";
    FormatTimeAndSize(61, 2, nullptr, &size);
    EXPECT_EQ(time, "keep");
    EXPECT_EQ(size, "2 kb");
    FormatTimeAndSize(61, 2, &time, nullptr);
    EXPECT_EQ(time, "00:01:01");
}

}  // namespace
}  // namespace sonotrap
