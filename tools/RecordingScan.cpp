#include "tools/RecordingScan.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "log/DiagnosticLog.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSettings.h"
#include "capture/SpectrumBlockAnalysis.h"
#include "adapters/virtual/VirtualCaptureBuffer.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace sonotrap {

namespace {

constexpr uint64_t kBlockMs = 72;
constexpr uint32_t kProgressPollMs = 100;

// Time stamps that advance 72 ms per capture notification from a chosen start (asked by the
// capture thread only).
class BlockClock {
public:
    explicit BlockClock(std::time_t start) : start_(start) {}
    void Next(char* buffer) {
        const std::string stamp = ScanTimeStamp(start_, calls_ * kBlockMs);
        std::memcpy(buffer, stamp.c_str(), stamp.size() + 1);
        ++calls_;
    }

private:
    std::time_t start_;
    uint64_t calls_ = 0;
};

// Reads the input a little ahead of the capture and analyses coming blocks' windows on a thread
// of its own while the capture thread triggers and writes the current one. At averaging depth 1
// the analysis is a pure function of the window, so a reading made ahead is the one the capture
// would make; it is used only for the very window (compared sample for sample) and band it was
// made for. The worker leaves the next block to the capture thread, which analyses it itself
// when nobody has started it: both cores share the analyses. Waits spin, since the partner
// answers within microseconds; the capture thread analyses a block itself rather than wait long
// for a worker put off its core, and the worker sleeps when it is far enough ahead.
class LookaheadAnalysis : public BlockAnalysis {
public:
    LookaheadAnalysis(CaptureSampleSource source, float lowHz, float highHz)
        : source_(std::move(source)), lowHz_(lowHz), highHz_(highHz) {
        for (Slot& slot : slots_) slot.window.resize(kAnalysed);
        worker_ = std::thread([this] { Run(); });
    }
    ~LookaheadAnalysis() override {
        {
            std::lock_guard<std::mutex> lock(lock_);
            stop_ = true;
            Changed();
        }
        worker_.join();
    }
    LookaheadAnalysis(const LookaheadAnalysis&) = delete;
    LookaheadAnalysis& operator=(const LookaheadAnalysis&) = delete;

    // The capture's source: the input as read ahead.
    size_t Read(int16_t* out, size_t count) {
        std::unique_lock<std::mutex> lock(lock_);
        ReadUpTo(capturePos_ + count);
        const uint64_t have = base_ + stream_.size();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, have - capturePos_));
        std::copy_n(stream_.begin() + static_cast<std::ptrdiff_t>(capturePos_ - base_), n, out);
        capturePos_ += n;
        ++blocksRead_;
        // Keep what windows still to be analysed may reach back to.
        if (capturePos_ > base_ + 4 * kWindow) {
            const uint64_t keep = capturePos_ - 2 * kWindow;
            stream_.erase(stream_.begin(), stream_.begin() + static_cast<std::ptrdiff_t>(keep - base_));
            base_ = keep;
        }
        return n;
    }

    void AnalyzeBlock(const int16_t* window, float* peakHz, float* peakDb) override {
        if (*peakHz == lowHz_ && *peakDb == highHz_ && TakeReading(window, peakHz, peakDb)) return;
        direct_.AnalyzeBlock(window, peakHz, peakDb);
    }

private:
    static constexpr uint64_t kBlock = kCaptureBlockBytes / 2;
    static constexpr uint64_t kWindow = CaptureWindow::kSamples;
    static constexpr uint64_t kAnalysed = CaptureWindow::kAnalysisSamples;
    static constexpr uint64_t kSlots = 8;
    static constexpr uint64_t kAheadBlocks = 5;  // below kSlots: a slot is reused only once consumed
    static constexpr auto kSpin = std::chrono::microseconds(200);
    static constexpr auto kStealAfter = std::chrono::microseconds(100);  // about two analyses

    enum class State { Free, Claimed, Done };
    struct Slot {
        uint64_t block = 0;
        State state = State::Free;
        std::vector<int16_t> window;
        float hz = 0.0f;
        float db = 0.0f;
    };

    // Absolute sample position where block b's window starts (negative before the input).
    static int64_t WindowStart(uint64_t block) {
        return static_cast<int64_t>((block + 1) * kBlock) - static_cast<int64_t>(kWindow);
    }

    // Reads the source until it holds samples up to end or the input ended. lock_ held.
    void ReadUpTo(uint64_t end) {
        while (!ended_ && base_ + stream_.size() < end) {
            const size_t old = stream_.size();
            stream_.resize(old + kBlock);
            const size_t got = source_(stream_.data() + old, kBlock);
            stream_.resize(old + got);
            if (got < kBlock) ended_ = true;
        }
    }

    // Spins until ready (checked under lock_) or spin has passed; true when ready. Between looks
    // it watches changes_ with lock_ released, so the partner is never held up.
    template <typename Ready>
    bool SpinFor(std::unique_lock<std::mutex>& lock, Ready ready, std::chrono::microseconds spin) {
        const auto until = std::chrono::steady_clock::now() + spin;
        while (!ready()) {
            if (std::chrono::steady_clock::now() >= until) return false;
            const uint64_t seen = changes_.load(std::memory_order_relaxed);
            lock.unlock();
            for (int i = 0; i < 256 && changes_.load(std::memory_order_relaxed) == seen; ++i) Pause();
            lock.lock();
        }
        return true;
    }

    static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
        _mm_pause();
#else
        std::this_thread::yield();
#endif
    }

    void Changed() {  // lock_ held
        changes_.fetch_add(1, std::memory_order_relaxed);
        changed_.notify_all();
    }

    // The reading made ahead for the block the capture read last, if its window is this one.
    bool TakeReading(const int16_t* window, float* peakHz, float* peakDb) {
        std::unique_lock<std::mutex> lock(lock_);
        if (blocksRead_ == 0) return false;
        const uint64_t block = blocksRead_ - 1;
        consumer_ = block;
        Changed();
        Slot& slot = slots_[block % kSlots];
        if (slot.block != block || slot.state == State::Free) return false;  // not started: do it here
        // A worker that was put off the core must not hold the capture up: past a short spin the
        // block is analysed here as well.
        if (!SpinFor(lock, [&] { return slot.state == State::Done; }, kStealAfter)) return false;
        lock.unlock();
        // The worker claims this slot again only once the capture is past this block.
        if (!std::equal(slot.window.begin(), slot.window.end(), window)) return false;
        *peakHz = slot.hz;
        *peakDb = slot.db;
        return true;
    }

    void Run() {
        SpectrumBlockAnalysis analysis;
        uint64_t next = 0;
        std::unique_lock<std::mutex> lock(lock_);
        for (;;) {
            uint64_t block = 0;
            const auto ready = [&] {
                block = std::max(next, consumer_ + 2);
                return stop_ || block <= consumer_ + kAheadBlocks;
            };
            if (!SpinFor(lock, ready, kSpin)) changed_.wait(lock, ready);
            if (stop_) return;
            next = block + 1;
            const int64_t start = WindowStart(block);
            ReadUpTo(static_cast<uint64_t>(std::max<int64_t>(0, start + static_cast<int64_t>(kAnalysed))));
            const uint64_t have = base_ + stream_.size();
            if (ended_ && start > static_cast<int64_t>(have)) return;  // past the input: nothing left
            if (static_cast<uint64_t>(std::max<int64_t>(start, 0)) < base_) continue;  // already dropped
            Slot& slot = slots_[block % kSlots];
            slot.block = block;
            slot.state = State::Claimed;
            // Zeros before the input and after its end, as the capture buffer holds them.
            const int64_t end = start + static_cast<int64_t>(kAnalysed);
            const int64_t from = std::max<int64_t>(start, 0);
            const int64_t to = std::max(from, std::min(end, static_cast<int64_t>(have)));
            std::fill(slot.window.begin(), slot.window.end(), int16_t{0});
            std::copy(stream_.begin() + (from - static_cast<int64_t>(base_)), stream_.begin() + (to - static_cast<int64_t>(base_)),
                      slot.window.begin() + (from - start));
            slot.hz = lowHz_;
            slot.db = highHz_;
            lock.unlock();
            analysis.AnalyzeBlock(slot.window.data(), &slot.hz, &slot.db);
            lock.lock();
            slot.state = State::Done;
            Changed();
        }
    }

    CaptureSampleSource source_;
    const float lowHz_;
    const float highHz_;
    SpectrumBlockAnalysis direct_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::atomic<uint64_t> changes_{0};  // counts Changed calls, for spinning waits
    std::vector<int16_t> stream_;  // input samples from base_ on
    uint64_t base_ = 0;
    uint64_t capturePos_ = 0;  // samples the capture has read
    uint64_t blocksRead_ = 0;
    uint64_t consumer_ = 0;  // the block the capture analyses now
    bool ended_ = false;
    bool stop_ = false;
    std::array<Slot, kSlots> slots_{};
    std::thread worker_;
};

void ApplyOptions(const ScanOptions& options, CaptureSettings& settings) {
    settings.outputMp3 = options.mp3;
    settings.threshold = options.threshold;
    settings.minTriggerHz = options.minTriggerHz;
    settings.maxTriggerHz = options.maxTriggerHz;
    settings.sizeLimit = options.sizeLimit;
    settings.peakLogging = options.peakLogging;
    settings.SetRecordingDirectory(options.outputDirectory);
}

}  // namespace

std::string ScanTimeStamp(std::time_t start, uint64_t elapsedMs) {
    char text[16];
    FormatTimeStamp(LocalTime(start + static_cast<std::time_t>(elapsedMs / 1000)), text);
    return text;
}

ScanResult ScanRecording(std::vector<int16_t> samples, const ScanOptions& options) {
    const uint64_t count = samples.size();
    return ScanRecording(MakeSampleSource(std::move(samples)), count, options);
}

ScanResult ScanRecording(CaptureSampleSource source, uint64_t inputSamples, const ScanOptions& options) {
    ScanResult result;
    const uint64_t inputBlocks = (inputSamples + kCaptureBlockBytes / 2 - 1) / (kCaptureBlockBytes / 2);
    DiagnosticLog log;
    errno = 0;
    if (!log.LogOpen(options.outputDirectory)) {
        result.failure = (std::filesystem::path(options.outputDirectory) / "Sonotrap.Log").string() + ": " +
                         (errno ? std::strerror(errno) : "cannot be created");
        return result;
    }
    CaptureSettings settings;
    ApplyOptions(options, settings);
    // Outlives the device, whose buffer reads through it.
    LookaheadAnalysis analysis(std::move(source), static_cast<float>(settings.minTriggerHz.load()),
                               static_cast<float>(settings.maxTriggerHz.load()));
    BlockClock clock(options.start);

    VirtualCapturePacing pacing;
    pacing.lockStep = true;
    pacing.blockIntervalMs = options.blockIntervalMs;
    VirtualCaptureInput* input = nullptr;

    CaptureServices services;
    services.log = &log;
    services.settings = &settings;
    services.analysis = &analysis;
    services.openInput = [&] {
        auto made = std::make_unique<VirtualCaptureInput>(
            [&analysis](int16_t* out, size_t count) { return analysis.Read(out, count); }, pacing);
        input = made.get();
        return made;
    };
    services.makeTimeStamp = [&clock](char* buffer) { clock.Next(buffer); };
    services.batch = options.blockIntervalMs <= 0.0;
    services.groupReport = options.groupReport;

    CaptureDevice device(services);
    if (!device.InitCapture() || !device.StartCapture(false)) {
        result.failure = "the run could not start (see Sonotrap.Log)";
        return result;
    }
    VirtualCaptureBuffer* buffer = input->LastBuffer();
    const uint64_t total = inputBlocks + pacing.trailingSilentBlocks;
    // A capture thread that gave up has stopped the buffer: it will never drain.
    bool drained = false;
    while (!(drained = buffer->WaitUntilDrained(kProgressPollMs)) && device.IsCaptureHealthy()) {
        if (options.progress) options.progress(buffer->BlocksCaptured(), total);
    }
    if (options.progress && drained) options.progress(total, total);
    device.StopCapture();
    device.CloseRecordingFile();
    result.blocks = buffer->BlocksCaptured();
    result.totals = device.GetRecorder().Totals();
    result.failure = device.GetRecorder().File().FirstFailure();
    if (!drained) result.failure = "capture stopped after " + std::to_string(result.blocks) + " blocks";
    result.ok = drained;
    device.ReleaseCapture();
    log.LogClose();
    return result;
}

}  // namespace sonotrap
