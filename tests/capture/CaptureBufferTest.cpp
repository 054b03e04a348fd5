#include <gtest/gtest.h>

#include "platform/CaptureBuffer.h"

namespace sonotrap::test {
namespace {

TEST(CaptureNotifications, WaitHandsThemOutInTheOrderSet) {
    CaptureNotifications n;
    EXPECT_EQ(n.WaitAny(0), CaptureNotifications::kTimedOut);
    n.Set(15);
    n.Set(0);
    n.Set(15);  // already set: stays in its place, counted once
    EXPECT_EQ(n.WaitAny(0), 15);
    EXPECT_EQ(n.WaitAny(0), 0);
    EXPECT_EQ(n.WaitAny(0), CaptureNotifications::kTimedOut);
    n.SetAll();
    int seen = 0;
    while (n.WaitAny(0) != CaptureNotifications::kTimedOut) ++seen;
    EXPECT_EQ(seen, 16);
    n.Set(3);
    n.ResetAll();
    n.Set(99);  // out of range: ignored
    EXPECT_EQ(n.WaitAny(0), CaptureNotifications::kTimedOut);
}

}  // namespace
}  // namespace sonotrap::test
