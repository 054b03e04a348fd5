#include "display/FormatDecimal.h"

#include <gtest/gtest.h>

#include <limits>

namespace sonotrap {
namespace {

TEST(FormatDecimalTest, TruncatesTheBinaryFractionAndWritesErrPastTheLimits) {
    const struct {
        int decimals;
        double value;
        const char* text;
    } cases[] = {
        // Every digit truncated, from the binary fraction: 1.2 and 0.12 are stored a hair low.
        {1, -23.46, "-23.4"}, {3, 16.35, "16.350"}, {0, 7.9, "7."}, {1, 1.2, "1.1"}, {2, 0.12, "0.11"},
        // Zero gets its decimals as zeros; no fraction for negative decimals; at most eleven digits.
        {2, 0.0, "0.00"}, {-3, 0.0, "0."}, {16, 0.0, "ERR"}, {-1, 3.75, "3."}, {13, 0.5, "0.50000000000"},
        // Texts that would reach sixteen characters; magnitudes beyond 32 bits.
        {8, 123456.25, "123456.25000000"}, {9, 123456.25, "ERR"}, {1, 4294967295.0, "4294967295.0"},
        {1, 4294967296.0, "ERR"}, {1, std::numeric_limits<double>::quiet_NaN(), "ERR"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDecimal(c.decimals, c.value), c.text) << c.decimals << ", " << c.value;
}

}  // namespace
}  // namespace sonotrap
