#include <gtest/gtest.h>

#include "platform/AutoResetEvent.h"
#include "platform/Thread.h"
#include "platform/TimedMutex.h"

using namespace sonotrap;

TEST(AutoResetEvent, SetBeforeWaitIsKeptUntilOneWaitOrAReset) {
    AutoResetEvent ev;
    ev.Set();
    ev.Set();  // two sets before a wait are one signal
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.Wait(10));  // reset by the first wait
    ev.Set();
    ev.Reset();
    EXPECT_FALSE(ev.Wait(0));
}

TEST(TimedMutex, IsRecursiveTimesOutForOthersAndOnlyTheOwnerReleases) {
    TimedMutex m;
    ASSERT_TRUE(m.Acquire());
    ASSERT_TRUE(m.Acquire(0));  // the holder may take it again
    bool otherGot = true, otherReleased = true;
    Thread t;
    ASSERT_TRUE(t.Start([&] {
        otherReleased = m.Release();
        otherGot = m.Acquire(10);
    }));
    t.Join();
    EXPECT_FALSE(otherReleased);
    EXPECT_FALSE(otherGot);
    EXPECT_TRUE(m.Release() && m.Release());
    EXPECT_FALSE(m.Release());  // nothing left to release
    ASSERT_TRUE(t.Start([&] { otherGot = m.Acquire(5000) && m.Release(); }));  // a thread is reusable after a join
    t.Join();
    EXPECT_TRUE(otherGot);
}
