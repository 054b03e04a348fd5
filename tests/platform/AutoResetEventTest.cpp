#include <gtest/gtest.h>

#include <atomic>

#include "platform/AutoResetEvent.h"
#include "platform/Thread.h"
#include "platform/TimedMutex.h"

using namespace sonotrap;

TEST(AutoResetEvent, SetBeforeWaitIsKeptUntilOneWaitOrAReset) {
    AutoResetEvent ev;
    ev.Set();
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.Wait(0));  // reset by the first wait
    ev.Set();
    ev.Set();  // two sets before a wait are one signal
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.Wait(10));
    ev.Set();
    ev.Reset();
    EXPECT_FALSE(ev.Wait(0));
}

TEST(AutoResetEvent, WakesAWaiterOnAnotherThread) {
    AutoResetEvent ev;
    std::atomic<bool> woke{false};
    Thread t;
    ASSERT_TRUE(t.Start([&] { woke = ev.Wait(5000); }, ThreadPriority::AboveNormal));
    SleepMs(20);
    ev.Set();
    t.Join();
    EXPECT_TRUE(woke);
}

TEST(TimedMutex, WaitTimesOutWhileAThreadHoldsIt) {
    TimedMutex m;
    AutoResetEvent held, release;
    Thread t;
    ASSERT_TRUE(t.Start([&] {
        m.Acquire();
        held.Set();
        release.Wait();
        m.Release();
    }));
    ASSERT_TRUE(held.Wait(5000));
    EXPECT_FALSE(m.Acquire(10));
    release.Set();
    EXPECT_TRUE(m.Acquire(5000));  // the thread has ended its hold
    EXPECT_TRUE(m.Release());
    t.Join();
}

TEST(TimedMutex, IsRecursiveAndOnlyTheOwnerReleases) {
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
    EXPECT_TRUE(m.Release());
    EXPECT_TRUE(m.Release());
    EXPECT_FALSE(m.Release());  // nothing left to release
    EXPECT_TRUE(m.Acquire(0));
    EXPECT_TRUE(m.Release());
}

TEST(Thread, StartTwiceIsRefusedAndJoinIsIdempotent) {
    Thread t;
    std::atomic<int> runs{0};
    ASSERT_TRUE(t.Start([&] { ++runs; }));
    EXPECT_FALSE(t.Start([&] { ++runs; }));
    t.Join();
    t.Join();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(t.Start([&] { ++runs; }));  // reusable after a join
    t.Join();
    EXPECT_EQ(runs, 2);
}
