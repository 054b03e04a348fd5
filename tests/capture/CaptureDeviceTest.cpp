#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "capture/CaptureDevice.h"
#include "capture/CaptureSettings.h"
#include "platform/virtual/FakeMainWindow.h"
#include "platform/virtual/VirtualCaptureBuffer.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

using namespace std::chrono_literals;

// A capture buffer the test drives by hand: it fires notifications on request, records every
// Lock and counts BlockConsumed calls. Its memory holds byte i = i % 251.
class SpyCaptureBuffer : public CaptureBuffer {
public:
    SpyCaptureBuffer() : memory_(kCaptureBufferBytes) {
        for (uint32_t i = 0; i < kCaptureBufferBytes; ++i) memory_[i] = static_cast<uint8_t>(i % 251);
    }
    bool SetNotificationPositions(CaptureNotifications* n) override {
        notifications_ = n;
        return true;
    }
    bool Start() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++starts;
        return true;
    }
    bool Stop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++stops;
        if (insideLock_) stoppedWhileLocked = true;
        gateOpen_ = true;
        changed_.notify_all();
        return true;
    }
    bool Lock(uint32_t offset, uint32_t bytes, CaptureRegions* r) override {
        std::unique_lock<std::mutex> lock(mutex_);
        lockOffsets.push_back(offset);
        if (failLocks) return false;
        insideLock_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return gateOpen_; });
        *r = CaptureRegions{};
        r->first = memory_.data() + offset;
        r->firstBytes = std::min(bytes, kCaptureBufferBytes - offset);
        if (r->firstBytes < bytes) {
            r->second = memory_.data();
            r->secondBytes = bytes - r->firstBytes;
        }
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
    // Fires k and waits until the block has been consumed.
    void FireAndWait(int k) {
        size_t before;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            before = consumed_;
        }
        Fire(k);
        std::unique_lock<std::mutex> lock(mutex_);
        ASSERT_TRUE(changed_.wait_for(lock, 5s, [&] { return consumed_ > before; }));
    }
    void CloseGate() {
        std::lock_guard<std::mutex> lock(mutex_);
        gateOpen_ = false;
    }
    bool WaitInsideLock() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 5s, [this] { return insideLock_; });
    }
    std::vector<uint32_t> Offsets() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lockOffsets;
    }

    std::atomic<bool> failLocks{false};
    int starts = 0;
    int stops = 0;
    bool stoppedWhileLocked = false;
    std::vector<uint32_t> lockOffsets;

private:
    std::vector<uint8_t> memory_;
    CaptureNotifications* notifications_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t consumed_ = 0;
    bool insideLock_ = false;
    bool gateOpen_ = true;
};

class SpyInput : public CaptureInput {
public:
    explicit SpyInput(SpyCaptureBuffer** made) : made_(made) {}
    std::unique_ptr<CaptureBuffer> CreateCaptureBuffer() override {
        auto b = std::make_unique<SpyCaptureBuffer>();
        *made_ = b.get();
        return b;
    }

private:
    SpyCaptureBuffer** made_;
};

class CaptureDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(log.LogOpen(dir.Path().string()));
        settings.outputMp3 = false;
        settings.SetRecordingDirectory(dir.Path().string());
        analysis.defaultDb = -90.0f;
    }
    CaptureServices Services(CaptureInputOpener opener) {
        CaptureServices s;
        s.log = &log;
        s.settings = &settings;
        s.openInput = std::move(opener);
        s.analysis = &analysis;
        s.view = &view;
        return s;
    }
    CaptureInputOpener Spy() {
        return [this] { return std::make_unique<SpyInput>(&spy); };
    }

    TempDir dir;
    DiagnosticLog log;
    CaptureSettings settings;
    ScriptedAnalysis analysis;
    RecordingView view;
    SpyCaptureBuffer* spy = nullptr;
};

TEST_F(CaptureDeviceTest, NoDeviceLogsAndFails) {
    CaptureDevice device(Services([] { return std::unique_ptr<CaptureInput>(); }));
    EXPECT_FALSE(device.InitCapture());
    EXPECT_EQ(LogBody(dir), "Can't initialize DirectSound Capture!\nInitDSound failed!\n");
    EXPECT_FALSE(device.StartCapture(false));
    EXPECT_NE(LogBody(dir).find("Direct Sound not initialized!\n"), std::string::npos);
}

class RefusingInput : public CaptureInput {
public:
    std::unique_ptr<CaptureBuffer> CreateCaptureBuffer() override { return nullptr; }
};

TEST_F(CaptureDeviceTest, BufferThatCannotBeMadeLogsAndFails) {
    CaptureDevice device(Services([] { return std::make_unique<RefusingInput>(); }));
    EXPECT_FALSE(device.InitCapture());
    EXPECT_FALSE(device.IsInitialised());
    EXPECT_EQ(LogBody(dir), "Failed to create capture buffer!\n");
}

TEST_F(CaptureDeviceTest, SecondInitChangesNothing) {
    int opened = 0;
    CaptureDevice device(Services([&] {
        ++opened;
        return std::make_unique<SpyInput>(&spy);
    }));
    EXPECT_TRUE(device.InitCapture());
    EXPECT_TRUE(device.InitCapture());
    EXPECT_EQ(opened, 1);
}

TEST_F(CaptureDeviceTest, NotificationsReadTheNewestWindowWithTheWrap) {
    CaptureDevice device(Services(Spy()));
    ASSERT_TRUE(device.InitCapture());
    ASSERT_TRUE(device.StartCapture(true));
    spy->FireAndWait(0);
    spy->FireAndWait(15);
    spy->FireAndWait(7);
    device.StopCapture();
    EXPECT_EQ(spy->Offsets(), std::vector<uint32_t>({43264, 38656, 1792}));
}

TEST_F(CaptureDeviceTest, FirstSixNotificationsWakeNothingAndTheSeventhWakesProcessing) {
    CaptureDevice device(Services(Spy()));
    ASSERT_TRUE(device.InitCapture());
    ASSERT_TRUE(device.StartCapture(true));
    for (int k = 0; k < 6; ++k) spy->FireAndWait(k);
    EXPECT_EQ(analysis.Calls(), 0u);
    EXPECT_EQ(device.BlocksCaptured(), 6u);
    spy->FireAndWait(6);
    EXPECT_EQ(analysis.Calls(), 1u);
    spy->FireAndWait(7);
    EXPECT_EQ(analysis.Calls(), 2u);
    device.StopCapture();
    EXPECT_FALSE(device.HasCaptureThread());
}

TEST_F(CaptureDeviceTest, FailedLockStopsTheBufferAndTheRun) {
    CaptureDevice device(Services(Spy()));
    ASSERT_TRUE(device.InitCapture());
    ASSERT_TRUE(device.StartCapture(true));
    spy->failLocks = true;
    spy->Fire(0);
    for (int i = 0; i < 500 && device.IsCaptureHealthy(); ++i) std::this_thread::sleep_for(2ms);
    EXPECT_FALSE(device.IsCaptureHealthy());
    EXPECT_GE(spy->stops, 1);
    device.StopCapture();
    // A new start tries again.
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
    spy->CloseGate();
    spy->Fire(3);
    ASSERT_TRUE(spy->WaitInsideLock());
    device.StopCapture();  // the spy's Stop opens the gate
    EXPECT_TRUE(spy->stoppedWhileLocked);
    EXPECT_FALSE(device.HasCaptureThread());
    EXPECT_FALSE(device.IsCapturing());
}

TEST_F(CaptureDeviceTest, ReleaseInAnyStateIsHarmless) {
    CaptureDevice device(Services(Spy()));
    device.ReleaseCapture();
    ASSERT_TRUE(device.InitCapture());
    device.ReleaseCapture();
    ASSERT_TRUE(device.InitCapture());
    ASSERT_TRUE(device.StartCapture(false));
    for (int k = 0; k < 8; ++k) spy->FireAndWait(k);
    device.ReleaseCapture();  // stops the run and frees the buffer with no thread left
    EXPECT_FALSE(device.IsInitialised());
    EXPECT_FALSE(device.HasCaptureThread());
}

TEST_F(CaptureDeviceTest, CaptureThreadStartsOnTheWindowsThreadAndKeepsEarlierNotifications) {
    FakeMainWindow window;
    CaptureServices services = Services(Spy());
    services.window = &window;
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
    EXPECT_TRUE(window.MessageBoxes().empty());
}

TEST_F(CaptureDeviceTest, StartMessageForAStoppedOrDestroyedDeviceDoesNothing) {
    FakeMainWindow window;
    CaptureServices services = Services(Spy());
    services.window = &window;
    {
        CaptureDevice device(services);
        ASSERT_TRUE(device.InitCapture());
        ASSERT_TRUE(device.StartCapture(true));
        device.StopCapture();
        window.RunPostedCalls();
        EXPECT_FALSE(device.HasCaptureThread());
        ASSERT_TRUE(device.StartCapture(true));
    }
    EXPECT_EQ(window.RunPostedCalls(), 1);  // the device is gone: the call must not touch it
}

TEST_F(CaptureDeviceTest, BufferThatDoesNotStartFailsTheStart) {
    VirtualCaptureFaults faults;
    faults.refuseStart = true;
    CaptureDevice device(Services([faults] {
        return std::make_unique<VirtualCaptureInput>(MakeSampleSource({}), VirtualCapturePacing{}, faults);
    }));
    ASSERT_TRUE(device.InitCapture());
    EXPECT_FALSE(device.StartCapture(false));
    EXPECT_FALSE(device.IsCapturing());
    EXPECT_FALSE(device.HasCaptureThread());
    EXPECT_NE(LogBody(dir).find("Failed to start the capture buffer!\n"), std::string::npos);
}

TEST_F(CaptureDeviceTest, NotificationsThatCannotBeSetLogAndFail) {
    VirtualCaptureFaults faults;
    faults.refuseNotifications = true;
    CaptureDevice device(Services([faults] {
        return std::make_unique<VirtualCaptureInput>(MakeSampleSource({}), VirtualCapturePacing{}, faults);
    }));
    EXPECT_FALSE(device.InitCapture());
    EXPECT_EQ(LogBody(dir), "Failed to set DS buffer notifications!\n");
}

}  // namespace
}  // namespace sonotrap::test
