#include "app/PlaybackOutput.h"

#include <algorithm>
#include <cstring>

#include "log/DiagnosticLog.h"

namespace sonotrap {

namespace {
constexpr uint32_t B = PlaybackOutput::kBlockBytes;
constexpr uint32_t S = PlaybackOutput::kBufferBytes;
constexpr uint32_t kBlocks = PlaybackOutput::kBlocksPerBuffer;
constexpr uint32_t kBytesPerMs = kSoundBytesPerSecond / 1000;  // 64
// The alignment window [B, B + B/4): the thread starts writing just after the play cursor
// has entered the second block.
constexpr uint32_t kAlignEnd = B + B / 4;

int32_t AsLogValue(uint32_t value) { return static_cast<int32_t>(value); }

uint32_t NextBlock(uint32_t position) { return position + B >= S ? position + B - S : position + B; }

// A device that reports equal cursors is taken to keep one block committed.
void ApplyEqualCursorRule(uint32_t play, uint32_t* write) {
    if (*write != play) return;
    *write = play + B;
    if (*write >= S) *write -= S;
}
}  // namespace

PlaybackOutput::PlaybackOutput(SoundOutput* output, DiagnosticLog& log, PlaybackClock& clock)
    : output_(output), log_(log), clock_(clock) {}

PlaybackOutput::~PlaybackOutput() { ReleasePlaybackOutput(); }

bool PlaybackOutput::InitPlaybackOutput() {
    if (buffer_) return true;
    if (!output_) {
        log_.LogLine("Failed: DirectSoundCreate!");
        return false;
    }
    std::unique_ptr<SoundBuffer> made;
    const SoundResult result = output_->CreateSoundBuffer(&made);
    if (result != kSoundOk || !made) {
        if (result == kSoundNoDevice) log_.LogLine("Failed: DirectSoundCreate!");
        if (result == kSoundFormatRefused) log_.LogLine("Failed: pDSPrimaryBuf->SetFormat!");
        return false;
    }
    buffer_ = std::move(made);
    if (!DirectSoundBufferSetup()) {
        log_.LogLine("DirectSoundBufferSetup - Lock failed");
        ReleasePlaybackOutput();
        return false;
    }
    return true;
}

bool PlaybackOutput::DirectSoundBufferSetup() {
    if (!buffer_) return false;
    SoundRegions regions;
    if (buffer_->Lock(0, S, false, &regions) != kSoundOk) return false;
    if (regions.first) std::memset(regions.first, 0, regions.firstBytes);
    if (regions.second) std::memset(regions.second, 0, regions.secondBytes);
    return buffer_->Unlock(regions) == kSoundOk;
}

bool PlaybackOutput::StartPlaybackOutput() {
    if (!buffer_) return false;
    // A second start without a stop would leave two threads writing into one buffer.
    if (playing_) StopPlaybackOutput();
    thread_.Join();  // a thread that left on its own after a device failure
    buffer_->SetCurrentPosition(0);
    if (buffer_->SetCurrentPosition(0) != kSoundOk) log_.LogLine("Failed - DSBuffer->SetCurrentPosition!");
    if (!DirectSoundBufferSetup()) {
        ReleasePlaybackOutput();
        return false;
    }
    if (buffer_->Play() != kSoundOk) {
        log_.LogLine("Error - Play command failed!");
        return false;
    }
    playing_ = true;
    threadRunning_ = true;
    const ThreadPriority priority = raisePriority_ ? ThreadPriority::Highest : ThreadPriority::Normal;
    if (!thread_.Start([this] { PlaybackThreadProc(); }, priority)) {
        threadRunning_ = false;
        playing_ = false;
        buffer_->Stop();
        return false;
    }
    return true;
}

void PlaybackOutput::StopPlaybackOutput() {
    if (playing_ && buffer_) {
        buffer_->Stop();
        playing_ = false;
    }
    thread_.Join();
}

void PlaybackOutput::ReleasePlaybackOutput() {
    StopPlaybackOutput();
    buffer_.reset();
}

bool PlaybackOutput::ReadCursors(Cursors* cursors) {
    return buffer_->GetCurrentPosition(&cursors->play, &cursors->write) == kSoundOk;
}

void PlaybackOutput::SleepForRest(uint32_t bytes) {
    const uint32_t ms = bytes / kBytesPerMs;
    clock_.Sleep(std::max<uint32_t>(1, ms / 2));
}

void PlaybackOutput::FillBlock(const SoundRegions& regions) {
    uint8_t* parts[2] = {regions.first, regions.second};
    const uint32_t sizes[2] = {regions.firstBytes, regions.secondBytes};
    if (!source_.bytes) {
        for (int i = 0; i < 2; ++i)
            if (parts[i]) std::memset(parts[i], 0, std::min(sizes[i], B));
        return;
    }
    {
        std::unique_lock<std::mutex> lock;
        if (source_.lock) lock = std::unique_lock<std::mutex>(*source_.lock);
        uint32_t done = 0;
        for (int i = 0; i < 2 && done < B; ++i) {
            if (!parts[i]) continue;
            const uint32_t n = std::min(sizes[i], B - done);
            std::memcpy(parts[i], source_.bytes + done, n);
            done += n;
        }
    }
    if (source_.wake) source_.wake->Set();
}

void PlaybackOutput::PlaybackThreadProc() {
    Cursors cursors;
    if (StartUpWait(&cursors) && Align(&cursors)) RunMainLoop(cursors);
    threadRunning_ = false;
}

// The buffer plays its silence once through while the thread waits for the play cursor to
// come round again.
bool PlaybackOutput::StartUpWait(Cursors* cursors) {
    for (int pass = 1;; ++pass) {
        clock_.Sleep(kBlockTimeMs);
        if (!playing_) return false;
        if (!ReadCursors(cursors)) return false;
        if (pass >= kBlocksPerBuffer && cursors->play != 0) return true;
    }
}

bool PlaybackOutput::Align(Cursors* cursors) {
    while (cursors->play < B || cursors->play >= kAlignEnd) {
        if (cursors->play < B) {
            SleepForRest(B - cursors->play);
        } else if (S - cursors->play >= B) {
            clock_.Sleep(kBlockTimeMs);
        } else {
            clock_.Sleep((B + S - cursors->play) / kBytesPerMs / 2);
        }
        if (!ReadCursors(cursors)) return false;
        if (!playing_) return false;
    }
    return true;
}

bool PlaybackOutput::Refill(uint32_t* writePosition, uint32_t* unfilled) {
    while (*unfilled >= B && playing_) {
        uint32_t status = 0;
        if (buffer_->GetStatus(&status) != kSoundOk) return false;
        SoundRegions regions;
        if (buffer_->Lock(*writePosition, B, false, &regions) != kSoundOk) return false;
        if (!regions.first || regions.firstBytes == 0) return false;
        FillBlock(regions);
        buffer_->Unlock(regions);
        *writePosition = NextBlock(*writePosition);
        *unfilled -= B;
    }
    return true;
}

// A skipped block may still be written when it lies clear of the span the device has
// committed (from the play cursor up to the write cursor).
bool PlaybackOutput::MayWriteSkippedBlock(uint32_t play, uint32_t write, uint32_t writePosition) {
    const uint32_t start = writePosition;
    const uint32_t end = writePosition + B;
    if (play > write) return start >= write && end <= play;
    if (end <= play) return true;
    return (start == play || start >= write) && end <= S;
}

PlaybackOutput::CatchUp PlaybackOutput::ChooseCatchUp(uint32_t play, uint32_t write, uint32_t writePosition,
                                                      uint32_t unfilled) {
    if (unfilled < B) return CatchUp::Wait;
    if (unfilled >= kHighWater) return CatchUp::Reset;
    const uint32_t committed = write >= play ? write - play : write + S - play;
    if (committed + unfilled - B > kHighWater) {
        // Too much is committed: give up the oldest unfilled block.
        unfilled -= B;
        if (unfilled < B) return CatchUp::SkipThenWait;
        return MayWriteSkippedBlock(play, write, NextBlock(writePosition)) ? CatchUp::SkipThenRefill : CatchUp::Reset;
    }
    return CatchUp::Refill;
}

void PlaybackOutput::RunMainLoop(Cursors cursors) {
    enum class Next { MainStep, AfterSleep, Reset };
    ApplyEqualCursorRule(cursors.play, &cursors.write);
    uint32_t noted = clock_.Now();
    uint32_t writePosition = 0;
    uint32_t unfilled = 0;  // played but not yet refilled
    uint32_t previousPlay = 0;
    Next next = Next::MainStep;
    for (;;) {
        if (next == Next::MainStep) {
            unfilled += cursors.play >= previousPlay ? cursors.play - previousPlay : cursors.play + S - previousPlay;
            previousPlay = cursors.play;
            next = Next::AfterSleep;
            const CatchUp step = ChooseCatchUp(cursors.play, cursors.write, writePosition, unfilled);
            if (step == CatchUp::Wait) {
                SleepForRest(B - unfilled);
                continue;
            }
            if (step == CatchUp::Reset) {
                next = Next::Reset;
                continue;
            }
            if (step != CatchUp::Refill) {
                writePosition = NextBlock(writePosition);
                unfilled -= B;
            }
            if (step == CatchUp::SkipThenWait) {
                clock_.Sleep(1);
                continue;
            }
            if (!Refill(&writePosition, &unfilled)) return;
            SleepForRest(unfilled < B ? B - unfilled : 0);
        } else if (next == Next::AfterSleep) {
            if (!playing_) return;
            const uint32_t now = clock_.Now();
            const uint32_t elapsed = now - noted;
            noted = now;
            if (!ReadCursors(&cursors)) return;
            ApplyEqualCursorRule(cursors.play, &cursors.write);
            next = elapsed >= kLateLimitMs ? Next::Reset : Next::MainStep;
        } else {
            if (!BufferReset(&cursors.play, &cursors.write, &writePosition, clock_.Now())) return;
            resets_.fetch_add(1);
            unfilled = cursors.play - writePosition;
            previousPlay = cursors.play;
            clock_.Sleep(1);
            next = Next::AfterSleep;
        }
    }
}

void PlaybackOutput::LogLockFailure(SoundResult result, const ResetSpaces& spaces, uint32_t write, uint32_t play) {
    log_.LogLine("Error: DirectSoundBufferReset - Lock failed");
    switch (result) {
        case kSoundBufferLost: log_.LogLine("Error: lock buffer: DSERR_BUFFERLOST"); break;
        case kSoundInvalidCall: log_.LogLine("Error: lock buffer: DSERR_INVALIDCALL"); break;
        case kSoundInvalidParam: log_.LogLine("Error: lock buffer: DSERR_INVALIDPARAM"); break;
        case kSoundPrioLevelNeeded: log_.LogLine("Error: lock buffer: DSERR_PRIOLEVELNEEDED"); break;
        default: log_.LogValue("Error: lock buffer - hr", result); break;
    }
    log_.LogTwoValues("dwCurrentWriteCursor", "dwCurrentPlayCursor", AsLogValue(write), AsLogValue(play));
    log_.LogTwoValues("dwDataSpace1", "dwDataSpace2", AsLogValue(spaces.first), AsLogValue(spaces.second));
    log_.LogValue("dwDataSpaceTotal", AsLogValue(spaces.first + spaces.second));
}

// Which part of the buffer a reset may write: the free span from the write cursor round to
// the play cursor, in one region or two. False when there is nothing to write.
bool PlaybackOutput::ResetSpan(uint32_t play, uint32_t write, ResetSpaces* spaces) {
    const uint32_t next = (write / B + 1) % kBlocks;
    const uint32_t underPlay = play / B;
    if (play > write) {
        if (next >= underPlay) return false;
        if (underPlay == 0 || next == 0 || next == kBlocks - 1 || underPlay - next > kBlocks - 2) {
            log_.LogLine("Error: BufferReset: Impossible values!");
            return false;
        }
        *spaces = {play - write, 0};
        if (spaces->first >= S) {
            log_.LogLine("Error: BufferReset: dwDataSpace1 >= dwSndBufferSize!");
            return false;
        }
    } else {
        const uint32_t blocks = underPlay + (next == 0 ? 0 : kBlocks - next);
        if (blocks == 0) return false;
        *spaces = write == S ? ResetSpaces{play, 0} : ResetSpaces{S - write, play};
    }
    const uint32_t total = spaces->first + spaces->second;
    if (total < B) {
        log_.LogLine("BufferReset3: dwDataSpaceTotal < dwBufBlockSizeBytes!");
        return false;
    }
    if (total > S) {
        log_.LogLine("Error: BufferReset: dwDataSpaceTotal > dwSndBufferSize!");
        return false;
    }
    return true;
}

// Fills the whole blocks of the locked free span; the first block boundary after the write
// cursor lies at offset (next x B - write) into the first region.
void PlaybackOutput::FillResetBlocks(const SoundRegions& regions, uint32_t play, uint32_t write) {
    const uint32_t next = (write / B + 1) % kBlocks;
    const uint32_t underPlay = play / B;
    auto fill = [this](uint8_t* at, uint32_t count) {
        for (uint32_t k = 0; k < count; ++k) FillBlock(SoundRegions{at + k * B, B, nullptr, 0});
    };
    if (write >= S) return;
    const uint32_t offset = next * B - write;
    if (play > write) {
        if (regions.firstBytes >= (underPlay - next) * B + offset) fill(regions.first + offset, underPlay - next);
        return;
    }
    if (play != 0 && !regions.second) return;
    if (next != 0 && regions.firstBytes >= (kBlocks - next) * B + offset)
        fill(regions.first + offset, kBlocks - next);
    if (regions.second && underPlay != 0 && regions.secondBytes >= underPlay * B) fill(regions.second, underPlay);
}

bool PlaybackOutput::BufferReset(uint32_t* playCursor, uint32_t* writeCursor, uint32_t* writePosition,
                                 uint32_t time) {
    if (!buffer_) return false;
    bool readAgain = time != clock_.Now();
    for (int attempt = 0;; ++attempt) {
        if (readAgain) {
            Cursors cursors;
            if (!ReadCursors(&cursors)) return false;
            ApplyEqualCursorRule(cursors.play, &cursors.write);
            *playCursor = cursors.play;
            *writeCursor = cursors.write;
        }
        const uint32_t write = *writeCursor;
        const uint32_t play = *playCursor;
        *writePosition = play / B * B;
        ResetSpaces spaces;
        if (!ResetSpan(play, write, &spaces)) return true;
        const uint32_t total = spaces.first + spaces.second;

        // Locked at the write cursor as read, which the fill offsets are counted from; the
        // device's own cursor may have moved on since.
        SoundRegions regions;
        const SoundResult result = buffer_->Lock(write, total, false, &regions);
        if (result != kSoundOk) {
            LogLockFailure(result, spaces, write, play);
            return false;
        }
        Cursors now;
        const bool read = ReadCursors(&now);
        ApplyEqualCursorRule(now.play, &now.write);
        const bool stillThere = read && now.write == write;
        bool consistent = false;
        if (!regions.first || regions.firstBytes == 0) {
            log_.LogLine("Error: BufferReset lpWrite1 == NULL or dwLen1 = 0");
        } else if (regions.firstBytes + regions.secondBytes != total) {
            log_.LogLine("Error: BufferReset dwLen1+dwLen2 != dwDataSpaceTotal");
        } else if (regions.firstBytes == spaces.first && regions.secondBytes != spaces.second) {
            log_.LogLine("Error: DxPlayReset dwLen2 != dwDataSpace2");
        } else {
            // A write cursor that moved since it was read may have committed blocks meant
            // for filling: start again from fresh cursors.
            consistent = regions.firstBytes == spaces.first && stillThere;
        }
        if (!consistent) {
            buffer_->Unlock(regions);
            if (attempt > 0) return false;
            clock_.Sleep(1);
            readAgain = true;
            continue;
        }
        FillResetBlocks(regions, play, write);
        buffer_->Unlock(regions);
        return true;
    }
}

}  // namespace sonotrap
