#include "tools/RecordingScan.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "log/DiagnosticLog.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSettings.h"
#include "capture/SpectrumBlockAnalysis.h"
#include "platform/Thread.h"
#include "adapters/virtual/VirtualCaptureBuffer.h"

namespace sonotrap {

namespace {

constexpr uint64_t kBlockMs = 72;
constexpr uint32_t kProgressPollMs = 100;

// Time stamps that advance 72 ms per capture notification from a chosen start (asked by the
// capture thread only). About 14 blocks share a second: its text is made once.
class BlockClock {
public:
    explicit BlockClock(std::time_t start) : start_(start) {}
    void Next(char* buffer) {
        const uint64_t second = calls_ * kBlockMs / 1000;
        if (calls_ == 0 || second != second_) {
            const std::string stamp = ScanTimeStamp(start_, second * 1000);
            std::memcpy(text_, stamp.c_str(), std::min(stamp.size() + 1, sizeof text_));
            second_ = second;
        }
        std::memcpy(buffer, text_, kStampChars + 1);
        ++calls_;
    }

private:
    std::time_t start_;
    uint64_t calls_ = 0;
    uint64_t second_ = 0;
    static constexpr size_t kStampChars = 10;  // MMDDhhmmss
    char text_[kStampChars + 1] = {};
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
//
// The input read ahead sits in chunks that each hold a window's length more than their share, so
// every window inside the input is analysed where it lies, and a chunk is refilled only once no
// analysis (not even one put off its core long ago) holds it.
class LookaheadAnalysis : public BlockAnalysis {
public:
    LookaheadAnalysis(CaptureSampleSource source, float lowHz, float highHz)
        : source_(std::move(source)), lowHz_(lowHz), highHz_(highHz) {
        for (Slot& slot : slots_) slot.window.resize(kAnalysed);
        // The worker takes over the processing thread's part of the analyses, at its priority, so
        // the two share them on a busy machine too. Without a worker the capture does them all.
        worker_.Start([this] { Run(); }, ThreadPriority::AboveNormal);
    }
    ~LookaheadAnalysis() override {
        {
            std::lock_guard<std::mutex> lock(lock_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.Join();
    }
    LookaheadAnalysis(const LookaheadAnalysis&) = delete;
    LookaheadAnalysis& operator=(const LookaheadAnalysis&) = delete;

    // The buffer that reads through this, in lock step: while its consumer analyses a window,
    // the block captured last is the window's block. Set before the capture starts.
    void Follow(const VirtualCaptureBuffer* buffer) { buffer_ = buffer; }

    // The capture's source: the input as read ahead.
    size_t Read(int16_t* out, size_t count) {
        std::unique_lock<std::mutex> lock(lock_);
        size_t done = 0;
        while (done < count) {
            const size_t part = std::min<size_t>(count - done, kBlock);
            ReadUpTo(lock, capturePos_ + part);
            const auto n = static_cast<size_t>(std::min<uint64_t>(part, head_ - capturePos_));
            std::copy_n(At(capturePos_), n, out + done);
            capturePos_ += n;
            done += n;
            if (n < part) break;
        }
        // Keep what windows still to be analysed may reach back to.
        const uint64_t keep = capturePos_ > 2 * kWindow ? capturePos_ - 2 * kWindow : 0;
        while (chunks_.size() > 1 && (chunks_.front()->index + 1) * kChunk <= keep) {
            if (chunks_.front().use_count() == 1) spare_.push_back(std::move(chunks_.front()));
            chunks_.pop_front();
        }
        return done;
    }

    void AnalyzeBlock(const int16_t* window, float* peakHz, float* peakDb) override {
        if (*peakHz != lowHz_ || *peakDb != highHz_ || !buffer_ || buffer_->BlocksCaptured() == 0) {
            direct_.AnalyzeBlock(window, peakHz, peakDb);
            return;
        }
        const uint64_t block = buffer_->BlocksCaptured() - 1;
        std::unique_lock<std::mutex> lock(lock_);
        // The capture must have read exactly the input up to the block's end.
        const uint64_t blockEnd = (block + 1) * kBlock;
        if (capturePos_ != (ended_ ? std::min(blockEnd, head_) : blockEnd)) {
            lock.unlock();
            direct_.AnalyzeBlock(window, peakHz, peakDb);
            return;
        }
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
    static constexpr uint64_t kChunk = 32 * kBlock;
    static constexpr uint64_t kSlots = 8;
    static constexpr uint64_t kAheadBlocks = 6;  // below kSlots: a slot is reused only once consumed
    static constexpr uint64_t kWakeFree = 3;     // a wake-up per few blocks, not per block

    // Input positions [index * kChunk, (index + 1) * kChunk + kAnalysed) as far as read: the
    // windows that start in the chunk.
    struct Chunk {
        uint64_t index = 0;
        std::vector<int16_t> samples = std::vector<int16_t>(kChunk + kAnalysed);
    };
    struct Slot {
        uint64_t block = UINT64_MAX;
        bool busy = false;    // its claimer is analysing it: nobody else may reuse the slot
        bool done = false;
        std::shared_ptr<const Chunk> chunk;  // what its claimer analyses in place, while busy
        std::vector<int16_t> window;  // a window that reaches outside the input, zero-padded
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

    Chunk* FindChunk(uint64_t index) const {
        if (chunks_.empty() || index < chunks_.front()->index || index > chunks_.back()->index) return nullptr;
        return chunks_[static_cast<size_t>(index - chunks_.front()->index)].get();
    }
    // Where input position p lies (read, and not dropped). lock_ held.
    const int16_t* At(uint64_t p) const { return FindChunk(p / kChunk)->samples.data() + p % kChunk; }

    void AddChunk(uint64_t index) {
        if (spare_.empty()) {
            chunks_.push_back(std::make_shared<Chunk>());
        } else {
            chunks_.push_back(std::move(spare_.back()));
            spare_.pop_back();
        }
        chunks_.back()->index = index;
    }

    // Reads the source until it holds samples up to end or the input ended. lock_ held, but
    // released while the source decodes, so the other thread may claim and analyse meanwhile; one
    // thread reads at a time. Only positions not read yet are written, which no analysis looks at.
    void ReadUpTo(std::unique_lock<std::mutex>& lock, uint64_t end) {
        while (!ended_ && head_ < end) {
            if (reading_) {
                readWaiting_ = true;
                readDone_.wait(lock);
                continue;
            }
            const uint64_t index = head_ / kChunk;
            const uint64_t at = head_ % kChunk;
            if (chunks_.empty() || chunks_.back()->index < index) AddChunk(index);
            int16_t* out = FindChunk(index)->samples.data() + at;
            reading_ = true;
            lock.unlock();
            const size_t got = source_(out, kBlock);
            lock.lock();
            reading_ = false;
            // Samples past the chunk's share open the next chunk; the first ones of a chunk are
            // also the previous chunk's overlap.
            if (at + got > kChunk) {
                AddChunk(index + 1);
                std::copy(out + (kChunk - at), out + got, chunks_.back()->samples.data());
            }
            Chunk* previous = index > 0 ? FindChunk(index - 1) : nullptr;
            if (at < kAnalysed && previous) {
                std::copy(out, out + std::min<uint64_t>(got, kAnalysed - at), previous->samples.data() + kChunk + at);
            }
            head_ += got;
            if (got < kBlock) ended_ = true;
            if (readWaiting_) {
                readWaiting_ = false;
                readDone_.notify_all();
            }
        }
    }

    // Claims the next block past the capture's and analyses its window (lock_ released meanwhile).
    Claim AnalyzeNext(std::unique_lock<std::mutex>& lock, SpectrumBlockAnalysis& analysis) {
        uint64_t block = 0;
        int64_t start = 0;
        int64_t end = 0;
        for (;;) {  // reading lets the other thread in, which may claim first
            if (FreeBlocks() == 0) return Claim::None;
            block = std::max(next_, consumer_ + 1);
            start = WindowStart(block);
            end = start + static_cast<int64_t>(kAnalysed);
            const auto needed = static_cast<uint64_t>(std::max<int64_t>(0, end));
            if (ended_ || head_ >= needed) break;
            ReadUpTo(lock, needed);
        }
        const auto have = static_cast<int64_t>(head_);
        if (ended_ && start > have) return Claim::PastInput;
        Slot& slot = slots_[block % kSlots];
        if (slot.busy) return Claim::None;  // a claimer put off its core is still on an old block
        next_ = block + 1;
        const int64_t from = std::max<int64_t>(start, 0);
        const int64_t to = std::max(from, std::min(end, have));  // the input's part of the window
        if (from < to && !FindChunk(static_cast<uint64_t>(from) / kChunk)) return Claim::Made;  // dropped: the capture does it
        slot.block = block;
        slot.busy = true;
        slot.done = false;
        const int16_t* window = slot.window.data();
        if (start >= 0 && end <= have) {
            slot.chunk = chunks_[static_cast<size_t>(static_cast<uint64_t>(start) / kChunk - chunks_.front()->index)];
            window = At(static_cast<uint64_t>(start));
        } else {
            // Zeros before the input and after its end, as the capture buffer holds them.
            int16_t* out = slot.window.data();
            std::fill(out, out + (from - start), int16_t{0});
            for (int64_t p = from; p < to; ++p) out[p - start] = *At(static_cast<uint64_t>(p));
            std::fill(out + (to - start), out + kAnalysed, int16_t{0});
        }
        slot.hz = lowHz_;
        slot.db = highHz_;
        lock.unlock();
        analysis.AnalyzeBlock(window, &slot.hz, &slot.db);
        lock.lock();
        slot.busy = false;
        slot.done = true;
        slot.chunk.reset();
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
    std::condition_variable changed_;   // the worker's wake-up
    std::condition_variable readDone_;  // the thread reading the source has finished
    std::deque<std::shared_ptr<Chunk>> chunks_;  // consecutive; the last holds the newest input
    std::vector<std::shared_ptr<Chunk>> spare_;
    uint64_t head_ = 0;        // input samples read
    uint64_t capturePos_ = 0;  // samples the capture has read
    uint64_t consumer_ = 0;    // the block the capture analyses now
    uint64_t next_ = 0;        // blocks below this are claimed (or passed by)
    bool ended_ = false;
    bool stop_ = false;
    bool workerWaiting_ = false;
    bool reading_ = false;
    bool readWaiting_ = false;
    std::array<Slot, kSlots> slots_{};
    Thread worker_;
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
