#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "platform/CaptureBuffer.h"
#include "adapters/virtual/VirtualCaptureBuffer.h"

namespace sonotrap::test {
namespace {

TEST(CaptureNotifications, PositionsAndTheOrderWaitHandsThemOut) {
    EXPECT_EQ(CaptureNotificationOffset(0), 4608u);
    EXPECT_EQ(CaptureNotificationOffset(14), 69120u);
    EXPECT_EQ(CaptureNotificationOffset(15), 73727u);  // 73728 lies outside the buffer
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

TEST(CaptureNotifications, AWaiterWakesWhenAnotherThreadSets) {
    CaptureNotifications n;
    std::thread setter([&] { n.Set(7); });
    EXPECT_EQ(n.WaitAny(), 7);
    setter.join();
}

// Lock step: every block arrives once, in order, with the source's samples, and the device
// reports itself drained after the trailing silence has been consumed.
TEST(VirtualCaptureBuffer, LockStepDeliversEveryBlockInOrder) {
    std::vector<int16_t> input(2304 * 20 + 100);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<int16_t>(i % 30011);
    VirtualCaptureInput device(MakeSampleSource(input), VirtualCapturePacing{});  // lock step, one silent block after
    auto buffer = device.CreateCaptureBuffer();
    CaptureNotifications n;
    ASSERT_TRUE(buffer->SetNotificationPositions(&n));
    ASSERT_TRUE(buffer->Start());
    std::vector<int16_t> got;
    for (int block = 0; block < 22; ++block) {
        const int k = n.WaitAny(5000);
        ASSERT_EQ(k, block % 16);
        CaptureRegions r;
        ASSERT_TRUE(buffer->Lock(static_cast<uint32_t>(k) * 4608, 4608, &r));
        ASSERT_EQ(r.firstBytes, 4608u);
        EXPECT_EQ(r.second, nullptr);
        const auto* s = reinterpret_cast<const int16_t*>(r.first);
        got.insert(got.end(), s, s + 2304);
        ASSERT_TRUE(buffer->Unlock(r));
        EXPECT_FALSE(device.LastBuffer()->WaitUntilDrained(0));
        buffer->BlockConsumed();
    }
    EXPECT_TRUE(device.LastBuffer()->WaitUntilDrained(1000));
    EXPECT_EQ(n.WaitAny(50), CaptureNotifications::kTimedOut);  // nothing after the input
    ASSERT_EQ(got.size(), 22u * 2304u);
    EXPECT_TRUE(std::equal(input.begin(), input.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(input.size()), got.end(), [](int16_t v) { return v == 0; }));
    EXPECT_TRUE(buffer->Stop());
}

TEST(VirtualCaptureBuffer, LockWrapsPastTheBufferEnd) {
    VirtualCaptureInput device(MakeSampleSource({}), VirtualCapturePacing{});
    auto buffer = device.CreateCaptureBuffer();
    CaptureRegions r;
    ASSERT_TRUE(buffer->Lock(43264, 35072, &r));
    EXPECT_EQ(r.firstBytes, 30464u);
    EXPECT_EQ(r.secondBytes, 4608u);
    EXPECT_EQ(r.second + 0, r.first - 43264);
    buffer->Unlock(r);
    EXPECT_FALSE(buffer->Lock(73728, 16, &r));
}

}  // namespace
}  // namespace sonotrap::test
