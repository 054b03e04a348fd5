#include "tools/ToolInput.h"

#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

#include "display/BlockLevel.h"  // kCaptureBlockSamples

namespace sonotrap::tool {

namespace {

constexpr uint32_t kOutputRate = 32000;
constexpr uint32_t kWholeFile = std::numeric_limits<uint32_t>::max();
constexpr size_t kPage = 4096;
// Pages are given back in steps of this many bytes, and only this far behind the estimated
// read position: a wrong estimate costs a page fault, never a wrong sample.
constexpr size_t kReleaseStep = size_t{8} << 20;
constexpr size_t kReleaseMargin = size_t{2} << 20;
constexpr int kReleaseEveryMs = 20;
constexpr int64_t kWindowLead = 6 * static_cast<int64_t>(kCaptureBlockSamples);

}  // namespace

bool MonoStream::Open(const std::string& path, std::string* error) {
    if (!file_.Open(path)) {
        *error = "cannot open '" + path + "'";
        return false;
    }
    {
        // Opening an MP3 file indexes every frame, reading the whole file in one call: a helper
        // gives the pages back behind it (a page still in use is read again from the cache).
        std::mutex lock;
        std::condition_variable wake;
        bool opened = false;
        std::thread releaser([&] {
            std::unique_lock<std::mutex> hold(lock);
            while (!wake.wait_for(hold, std::chrono::milliseconds(kReleaseEveryMs), [&] { return opened; })) {
                released_ = 0;
                ReleaseReadPages(file_.Size());
            }
        });
        reader_ = MusicFileReader::Create(file_.Data(), file_.Size(), kOutputRate, nullptr, kWholeFile);
        {
            std::lock_guard<std::mutex> hold(lock);
            opened = true;
        }
        wake.notify_one();
        releaser.join();
    }
    total_ = IsReady(reader_.get()) ? reader_->GetOutputSampleCount() : 0;
    if (total_ == 0) {
        *error = "'" + path + "': not a file that can be read (WAV with 16-bit PCM or MP3 data, or MP3)";
        return false;
    }
    // Indexing an MP3 file touched every page; reading touches them again only as it goes.
    ReleaseReadPages(file_.Size());
    released_ = 0;
    return true;
}

void MonoStream::ReleaseReadPages(size_t upTo) {
    upTo = upTo / kPage * kPage;
    if (upTo <= released_ || file_.Size() == 0) return;
    ::madvise(const_cast<uint8_t*>(file_.Data()) + released_, upTo - released_, MADV_DONTNEED);
    released_ = upTo;
}

size_t MonoStream::Read(int16_t* out, size_t count) {
    size_t done = 0;
    while (done < count && position_ < total_) {
        if (blockUsed_ == blockFill_) {
            blockFill_ = dry_ ? 0 : reader_->ReadBlock(block_);
            if (blockFill_ == 0) {
                dry_ = true;
                std::fill(block_, block_ + kMusicBlockSamples, int16_t{0});
                blockFill_ = kMusicBlockSamples;
            }
            blockUsed_ = 0;
        }
        const size_t n = std::min<uint64_t>({count - done, blockFill_ - blockUsed_, total_ - position_});
        std::copy_n(block_ + blockUsed_, n, out + done);
        blockUsed_ += static_cast<uint32_t>(n);
        done += n;
        position_ += n;
    }
    const size_t estimate = static_cast<size_t>(static_cast<double>(file_.Size()) * static_cast<double>(position_) /
                                                static_cast<double>(total_));
    if (estimate > released_ + kReleaseStep + kReleaseMargin) ReleaseReadPages(estimate - kReleaseMargin);
    return done;
}

void BlockWindows::Fill(size_t block, int16_t* window, size_t size) {
    const int64_t start = static_cast<int64_t>(block * kCaptureBlockSamples) - kWindowLead;
    const uint64_t from = static_cast<uint64_t>(std::max<int64_t>(start, 0));
    const uint64_t to = std::min<uint64_t>(static_cast<uint64_t>(start + static_cast<int64_t>(size)),
                                           stream_.TotalSamples());
    if (from > heldStart_) {
        const size_t drop = static_cast<size_t>(std::min<uint64_t>(from - heldStart_, held_.size()));
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(drop));
        heldStart_ += drop;
    }
    while (heldStart_ + held_.size() < to) {
        const size_t at = held_.size();
        held_.resize(static_cast<size_t>(to - heldStart_));
        const size_t got = stream_.Read(held_.data() + at, held_.size() - at);
        held_.resize(at + got);
        if (got == 0) break;
    }
    std::fill(window, window + size, int16_t{0});
    const uint64_t first = std::max(from, heldStart_);
    const uint64_t end = std::min<uint64_t>(to, heldStart_ + held_.size());
    if (end > first) {
        std::copy(held_.begin() + static_cast<std::ptrdiff_t>(first - heldStart_),
                  held_.begin() + static_cast<std::ptrdiff_t>(end - heldStart_),
                  window + (static_cast<int64_t>(first) - start));
    }
}

bool LoadMonoSamples(const std::string& path, std::vector<int16_t>* samples, std::string* error) {
    samples->clear();
    MonoStream stream;
    if (!stream.Open(path, error)) return false;
    samples->resize(static_cast<size_t>(stream.TotalSamples()));
    samples->resize(stream.Read(samples->data(), samples->size()));
    return true;
}

}  // namespace sonotrap::tool
