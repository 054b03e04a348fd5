#include "tools/RecordingScan.h"

#include <algorithm>
#include <array>
#include <cerrno>
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

// Reads the input a little ahead of the capture and shares the analysis of coming blocks between
// the capture thread and a worker thread of its own, while the capture thread also triggers and
// writes. In lock step the capture's window of block b is a pure function of the input and b (the
// buffer starts zeroed, takes one read per block and holds zeros after the input's end), and at
// averaging depth 1 so is its reading: a reading made ahead from the same input positions is used
// for that very block and band. Blocks are claimed in order by whoever comes first; the capture
// never waits: when the worker is still on the capture's block, the capture takes a later one
// meanwhile, or when there is none analyses its block itself. The worker sleeps when it is far
// enough ahead and is woken once a few blocks are free again.
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
        }
        changed_.notify_all();
        worker_.join();
    }
    LookaheadAnalysis(const LookaheadAnalysis&) = delete;
    LookaheadAnalysis& operator=(const LookaheadAnalysis&) = delete;

    // The buffer that reads through this, in lock step: while its consumer analyses a window,
    // the block captured last is the window's block. Set before the capture starts.
    void Follow(const VirtualCaptureBuffer* buffer) { buffer_ = buffer; }

    // The capture's source: the input as read ahead.
    size_t Read(int16_t* out, size_t count) {
        std::lock_guard<std::mutex> lock(lock_);
        ReadUpTo(capturePos_ + count);
        const uint64_t have = base_ + stream_.size();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, have - capturePos_));
        std::copy_n(stream_.begin() + static_cast<std::ptrdiff_t>(capturePos_ - base_), n, out);
        capturePos_ += n;
        // Keep what windows still to be analysed may reach back to.
        if (capturePos_ > base_ + kTrimAfter) {
            const uint64_t keep = capturePos_ - 2 * kWindow;
            stream_.erase(stream_.begin(), stream_.begin() + static_cast<std::ptrdiff_t>(keep - base_));
            base_ = keep;
        }
        return n;
    }

    void AnalyzeBlock(const int16_t* window, float* peakHz, float* peakDb) override {
        if (*peakHz != lowHz_ || *peakDb != highHz_ || !buffer_ || buffer_->BlocksCaptured() == 0) {
            direct_.AnalyzeBlock(window, peakHz, peakDb);
            return;
        }
        const uint64_t block = buffer_->BlocksCaptured() - 1;
        std::unique_lock<std::mutex> lock(lock_);
        consumer_ = block;
        if (workerWaiting_ && FreeBlocks() >= kWakeFree) {
            workerWaiting_ = false;
            lock.unlock();
            changed_.notify_one();
            lock.lock();
        }
        for (;;) {
            const Slot& slot = slots_[block % kSlots];
            if (next_ > block && slot.block == block && slot.done) {
                *peakHz = slot.hz;
                *peakDb = slot.db;
                return;
            }
            // Nobody has started it, or the worker is on it and there is nothing else to take.
            if (next_ <= block || slot.block != block || AnalyzeNext(lock, direct_) != Claim::Made) break;
        }
        next_ = std::max(next_, block + 1);
        lock.unlock();
        direct_.AnalyzeBlock(window, peakHz, peakDb);
    }

private:
    static constexpr uint64_t kBlock = kCaptureBlockBytes / 2;
    static constexpr uint64_t kWindow = CaptureWindow::kSamples;
    static constexpr uint64_t kAnalysed = CaptureWindow::kAnalysisSamples;
    static constexpr uint64_t kTrimAfter = 4 * kWindow;
    static constexpr uint64_t kSlots = 8;
    static constexpr uint64_t kAheadBlocks = 6;  // below kSlots: a slot is reused only once consumed
    static constexpr uint64_t kWakeFree = 3;     // a wake-up per few blocks, not per block

    struct Slot {
        uint64_t block = UINT64_MAX;
        bool busy = false;  // its claimer is analysing it: nobody else may reuse the slot
        bool done = false;
        std::vector<int16_t> window;
        float hz = 0.0f;
        float db = 0.0f;
    };
    enum class Claim { Made, None, PastInput };

    // Absolute sample position where block b's window starts (negative before the input).
    static int64_t WindowStart(uint64_t block) {
        return static_cast<int64_t>((block + 1) * kBlock) - static_cast<int64_t>(kWindow);
    }

    // Blocks past the capture's that may still be claimed. lock_ held.
    uint64_t FreeBlocks() const { return consumer_ + kAheadBlocks + 1 - std::max(next_, consumer_ + 1); }

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

    // Claims the next block past the capture's and analyses its window (lock_ released meanwhile).
    Claim AnalyzeNext(std::unique_lock<std::mutex>& lock, SpectrumBlockAnalysis& analysis) {
        if (FreeBlocks() == 0) return Claim::None;
        const uint64_t block = std::max(next_, consumer_ + 1);
        const int64_t start = WindowStart(block);
        const int64_t end = start + static_cast<int64_t>(kAnalysed);
        ReadUpTo(static_cast<uint64_t>(std::max<int64_t>(0, end)));
        const auto have = static_cast<int64_t>(base_ + stream_.size());
        if (ended_ && start > have) return Claim::PastInput;
        Slot& slot = slots_[block % kSlots];
        if (slot.busy) return Claim::None;  // a claimer put off its core is still on an old block
        next_ = block + 1;
        const int64_t from = std::max<int64_t>(start, 0);
        if (from < static_cast<int64_t>(base_)) return Claim::Made;  // already dropped: the capture does it
        slot.block = block;
        slot.busy = true;
        slot.done = false;
        // Zeros before the input and after its end, as the capture buffer holds them.
        const int64_t to = std::max(from, std::min(end, have));
        int16_t* out = slot.window.data();
        std::fill(out, out + (from - start), int16_t{0});
        std::copy(stream_.begin() + (from - static_cast<int64_t>(base_)),
                  stream_.begin() + (to - static_cast<int64_t>(base_)), out + (from - start));
        std::fill(out + (to - start), out + kAnalysed, int16_t{0});
        slot.hz = lowHz_;
        slot.db = highHz_;
        lock.unlock();
        analysis.AnalyzeBlock(out, &slot.hz, &slot.db);
        lock.lock();
        slot.busy = false;
        slot.done = true;
        return Claim::Made;
    }

    void Run() {
        SpectrumBlockAnalysis analysis;
        std::unique_lock<std::mutex> lock(lock_);
        while (!stop_) {
            const Claim claim = AnalyzeNext(lock, analysis);
            if (claim == Claim::PastInput) return;
            if (claim == Claim::Made) continue;
            workerWaiting_ = true;
            changed_.wait(lock, [this] { return stop_ || !workerWaiting_; });
        }
    }

    CaptureSampleSource source_;
    const float lowHz_;
    const float highHz_;
    const VirtualCaptureBuffer* buffer_ = nullptr;
    SpectrumBlockAnalysis direct_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<int16_t> stream_;  // input samples from base_ on
    uint64_t base_ = 0;
    uint64_t capturePos_ = 0;  // samples the capture has read
    uint64_t consumer_ = 0;    // the block the capture analyses now
    uint64_t next_ = 0;        // blocks below this are claimed (or passed by)
    bool ended_ = false;
    bool stop_ = false;
    bool workerWaiting_ = false;
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
    if (device.InitCapture()) analysis.Follow(input->LastBuffer());
    if (!device.IsInitialised() || !device.StartCapture(false)) {
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
