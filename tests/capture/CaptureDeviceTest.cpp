#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <thread>

#include "support/FakeMainWindow.h"
#include "adapters/virtual/VirtualCaptureBuffer.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

using namespace std::chrono_literals;

// A capture buffer the test drives by hand: it fires notifications, records every Lock offset
// and counts BlockConsumed calls. Lock can be made to fail, or to wait at a gate that Stop opens.
class SpyCaptureBuffer : public CaptureBuffer {
public:
    bool SetNotificationPositions(CaptureNotifications* n) override { return (notifications_ = n) != nullptr; }
    bool Start() override { return true; }
    bool Stop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++stops;
        stoppedWhileLocked = stoppedWhileLocked || insideLock_;
        gateOpen_ = true;
        changed_.notify_all();
        return true;
    }
    bool Lock(uint32_t offset, uint32_t bytes, CaptureRegions* r) override {
        std::unique_lock<std::mutex> lock(mutex_);
        offsets_.push_back(offset);
        if (failLocks) return false;
        insideLock_ = true;
        changed_.notify_all();
        EXPECT_TRUE(changed_.wait_for(lock, 5s, [this] { return gateOpen_; })) << "the gate was never opened";
        *r = CaptureRegionsOf(memory_.data(), offset, bytes);
        return true;
    }
    bool Unlock(const CaptureRegions&) override {
        std::lock_guard<std::mutex> lock(mutex_);
        insideLock_ = false;
        return true;
    }
    void BlockConsumed() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++consumed_;
        changed_.notify_all();
    }

    void Fire(int k) { notifications_->Set(k); }
    void FireAndWait(int k) {
        std::unique_lock<std::mutex> lock(mutex_);
        const size_t before = consumed_;
        Fire(k);
        ASSERT_TRUE(changed_.wait_for(lock, 5s, [&] { return consumed_ > before; })) << "block " << k << " not consumed";
    }
    void CloseGateAndFire(int k) {
        std::unique_lock<std::mutex> lock(mutex_);
        gateOpen_ = false;
        Fire(k);
        ASSERT_TRUE(changed_.wait_for(lock, 5s, [this] { return insideLock_; })) << "the capture thread never locked";
    }
    std::vector<uint32_t> Offsets() {
        std::lock_guard<std::mutex> lock(mutex_);
        return offsets_;
    }

    std::atomic<bool> failLocks{false};
    std::atomic<int> stops{0};
    bool stoppedWhileLocked = false;

private:
    std::vector<uint8_t> memory_ = std::vector<uint8_t>(kCaptureBufferBytes);
    CaptureNotifications* notifications_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint32_t> offsets_;
    size_t consumed_ = 0;
    bool insideLock_ = false;
    bool gateOpen_ = true;
};

// A capture input whose buffers come from make (null: the device refuses).
class InputOf : public CaptureInput {
public:
    explicit InputOf(std::function<std::unique_ptr<CaptureBuffer>()> make) : make_(std::move(make)) {}
    std::unique_ptr<CaptureBuffer> CreateCaptureBuffer() override { return make_(); }

private:
    std::function<std::unique_ptr<CaptureBuffer>()> make_;
};

class CaptureDeviceTest : public ::testing::Test, protected CaptureRig {
protected:
    CaptureInputOpener Spy() {
        return [this] {
            return std::make_unique<InputOf>([this] {
                auto b = std::make_unique<SpyCaptureBuffer>();
                spy = b.get();
                return b;
            });
        };
    }
    SpyCaptureBuffer* spy = nullptr;
};

CaptureInputOpener FaultyVirtualInput(bool refuseNotifications, bool refuseStart) {
    VirtualCaptureFaults faults;
    faults.refuseNotifications = refuseNotifications;
    faults.refuseStart = refuseStart;
    return [faults] { return std::make_unique<VirtualCaptureInput>(MakeSampleSource({}), VirtualCapturePacing{}, faults); };
}

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

// Every way the device can refuse gives a log line and a failed start, never a running thread.
TEST(CaptureDeviceFailures, EachRefusalLogsAndFailsTheStart) {
    const struct {
        const char* name;
        CaptureInputOpener open;
        bool initialises;
        const char* initLog;
        const char* startLog;
    } cases[] = {
        {"no device", [] { return std::unique_ptr<CaptureInput>(); }, false,
         "Can't initialize DirectSound Capture!\nInitDSound failed!\n", "Direct Sound not initialized!\n"},
        {"no buffer", [] { return std::make_unique<InputOf>([] { return nullptr; }); }, false, "Failed to create capture buffer!\n",
         "Direct Sound not initialized!\n"},
        {"no notifications", FaultyVirtualInput(true, false), false, "Failed to set DS buffer notifications!\n",
         "Direct Sound not initialized!\n"},
        {"no start", FaultyVirtualInput(false, true), true, "", "Failed to start the capture buffer!\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureRig rig;
        CaptureDevice device(rig.Services(c.open));
        EXPECT_EQ(device.InitCapture(), c.initialises);
        EXPECT_EQ(device.IsInitialised(), c.initialises);
        EXPECT_EQ(rig.LogBody(), c.initLog);
        EXPECT_FALSE(device.StartCapture(false));
        EXPECT_FALSE(device.IsCapturing());
        EXPECT_FALSE(device.HasCaptureThread());
        EXPECT_EQ(rig.LogBody(), std::string(c.initLog) + c.startLog);
    }
}

// Notification k reads the 35072 bytes ending at block k, wrapping at the buffer end; the first
// six only fill the window, the seventh wakes the processing thread.
TEST_F(CaptureDeviceTest, NotificationsReadTheNewestWindowAndTheFirstSixWakeNothing) {
    CaptureDevice device(Services(Spy()));
    ASSERT_TRUE(device.InitCapture());
    ASSERT_TRUE(device.StartCapture(true));
    for (int k = 0; k < 6; ++k) spy->FireAndWait(k);
    EXPECT_EQ(analysis.Bands().size(), 0u);
    EXPECT_EQ(device.BlocksCaptured(), 6u);
    spy->FireAndWait(6);
    EXPECT_EQ(analysis.Bands().size(), 1u);
    spy->FireAndWait(7);
    EXPECT_EQ(analysis.Bands().size(), 2u);
    spy->FireAndWait(15);
    const auto offsets = spy->Offsets();
    device.ReleaseCapture();  // stops the run and frees the buffer with no thread left
    EXPECT_FALSE(device.IsInitialised());
    EXPECT_FALSE(device.HasCaptureThread());
    ASSERT_EQ(offsets.size(), 9u);
    EXPECT_EQ(offsets[0], 43264u);
    EXPECT_EQ(offsets[7], 1792u);
    EXPECT_EQ(offsets[8], 38656u);
}

TEST_F(CaptureDeviceTest, FailedLockStopsTheBufferAndTheRunAndANewStartTriesAgain) {
    CaptureDevice device(Services(Spy()));
    ASSERT_TRUE(device.InitCapture());
    ASSERT_TRUE(device.StartCapture(true));
    spy->failLocks = true;
    spy->Fire(0);
    for (int i = 0; i < 500 && device.IsCaptureHealthy(); ++i) std::this_thread::sleep_for(2ms);
    ASSERT_FALSE(device.IsCaptureHealthy()) << "a failed lock left the run healthy after 1 s";
    EXPECT_GE(spy->stops, 1);
    device.StopCapture();
    spy->failLocks = false;
    ASSERT_TRUE(device.StartCapture(true));
    EXPECT_TRUE(device.IsCaptureHealthy());
    spy->FireAndWait(0);
    device.StopCapture();
}

TEST_F(CaptureDeviceTest, StoppingWhileTheCaptureThreadIsBusyStopsTheBufferFirst) {
    CaptureDevice device(Services(Spy()));
    ASSERT_TRUE(device.InitCapture());
    ASSERT_TRUE(device.StartCapture(true));
    spy->CloseGateAndFire(3);
    device.StopCapture();  // the spy's Stop opens the gate
    EXPECT_TRUE(spy->stoppedWhileLocked);
    EXPECT_FALSE(device.HasCaptureThread());
    EXPECT_FALSE(device.IsCapturing());
}

// With a window, the capture thread is started by a call posted to the window's thread:
// notifications before it are kept, and a call that arrives after a stop, or after the device
// is gone, does nothing.
TEST_F(CaptureDeviceTest, CaptureThreadStartsOnTheWindowsThread) {
    FakeMainWindow window;
    CaptureServices services = Services(Spy());
    services.window = &window;
    {
        CaptureDevice device(services);
        ASSERT_TRUE(device.InitCapture());
        ASSERT_TRUE(device.StartCapture(true));
        EXPECT_FALSE(device.HasCaptureThread());
        EXPECT_EQ(window.PendingCalls(), 1u);
        spy->Fire(0);  // arrives before the thread exists
        EXPECT_EQ(window.RunPostedCalls(), 1);
        EXPECT_TRUE(device.HasCaptureThread());
        for (int k = 1; k < 7; ++k) spy->FireAndWait(k);
        EXPECT_EQ(device.BlocksCaptured(), 7u);
        device.StopCapture();
        ASSERT_TRUE(device.StartCapture(true));
        device.StopCapture();
        window.RunPostedCalls();
        EXPECT_FALSE(device.HasCaptureThread());
        ASSERT_TRUE(device.StartCapture(true));
    }
    EXPECT_EQ(window.RunPostedCalls(), 1);  // the device is gone: the call must not touch it
    EXPECT_TRUE(window.MessageBoxes().empty());
}

}  // namespace
}  // namespace sonotrap::test
