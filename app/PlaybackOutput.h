#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "app/PlaybackClock.h"
#include "platform/AutoResetEvent.h"
#include "platform/SoundBuffer.h"
#include "platform/Thread.h"

namespace sonotrap {

class DiagnosticLog;

// Where the played music comes from: 4608 bytes (two music blocks) that the playback thread
// copies under lock each time a block of the buffer has been played, and the event that it
// signals right after each copy so the supplier refills them. A null bytes pointer plays silence.
struct PlaybackSource {
    const uint8_t* bytes = nullptr;
    std::mutex* lock = nullptr;
    AutoResetEvent* wake = nullptr;
};

// The playback output: one looping sound buffer of five 4608-byte blocks and the playback
// thread that refills each block with the source's bytes once it has been played, falling back
// to BufferReset when it has fallen behind. Operations are called from one (the main) thread;
// the playback thread is always joined before Stop or Release returns.
class PlaybackOutput {
public:
    static constexpr uint32_t kSamplesPerBlock = 2304;
    static constexpr int16_t kBlocksPerBuffer = 5;
    static constexpr uint32_t kBlockBytes = kSamplesPerBlock * 2;                      // 4608
    static constexpr uint32_t kBufferBytes = kBlockBytes * kBlocksPerBuffer;           // 23040
    static constexpr uint32_t kBlockTimeMs = kSamplesPerBlock * 1000 / kSoundSampleRate;  // 72
    static constexpr uint32_t kHighWater = (kBlocksPerBuffer - 1) * kBlockBytes;       // 18432
    static constexpr uint32_t kLateLimitMs = kHighWater * 1000 / kSoundBytesPerSecond;  // 288

    // output makes the sound buffer (not owned; may be null: no device). log and clock must
    // outlive the object.
    PlaybackOutput(SoundOutput* output, DiagnosticLog& log, PlaybackClock& clock = SystemPlaybackClock());
    ~PlaybackOutput();  // ReleasePlaybackOutput
    PlaybackOutput(const PlaybackOutput&) = delete;
    PlaybackOutput& operator=(const PlaybackOutput&) = delete;

    // Creates the buffer and fills it with silence; false (logged) leaves the output unusable.
    bool InitPlaybackOutput();
    // Zeroes the whole buffer.
    bool DirectSoundBufferSetup();
    // Rewinds, silences, plays looping and starts the playback thread.
    bool StartPlaybackOutput();
    // Stops the buffer and returns once the playback thread has ended.
    void StopPlaybackOutput();
    // Stops if playing, then frees the buffer.
    void ReleasePlaybackOutput();

    // The hand-over of a loaded file; call while not playing.
    void SetSource(const PlaybackSource& source) { source_ = source; }
    const PlaybackSource& Source() const { return source_; }
    bool IsPlaying() const { return playing_.load(); }
    bool HasDevice() const { return buffer_ != nullptr; }
    // False once the playback thread has left, also when it left on a device failure.
    bool IsThreadRunning() const { return threadRunning_.load(); }
    // How many times the playback thread has gone through BufferReset since construction.
    uint32_t ResetCount() const { return resets_.load(); }

    // The recovery refill: fills every block that is clear of the committed span with the
    // source and puts *writePosition on the block under the play cursor. Updates the three
    // positions; false only when the buffer cannot be locked or the lock stays inconsistent.
    // The playback thread's own step; call it from outside only while no thread runs.
    bool BufferReset(uint32_t* playCursor, uint32_t* writeCursor, uint32_t* writePosition, uint32_t time);

    // The playback thread's choice once it has read the cursors and counted the unfilled bytes
    // (played but not yet refilled): wait for a whole block, refill, give up the oldest unfilled
    // block first (the device has committed too much) and then wait or refill, or reset.
    enum class CatchUp { Wait, Refill, SkipThenWait, SkipThenRefill, Reset };
    static CatchUp ChooseCatchUp(uint32_t play, uint32_t write, uint32_t writePosition, uint32_t unfilled);

private:
    struct Cursors {
        uint32_t play = 0;
        uint32_t write = 0;
    };
    struct ResetSpaces {
        uint32_t first = 0;   // from the write cursor
        uint32_t second = 0;  // from the buffer start, when the free span wraps
    };
    void PlaybackThreadProc();
    bool StartUpWait(Cursors* cursors);
    bool Align(Cursors* cursors);
    bool ReadCursors(Cursors* cursors);
    void RunMainLoop(Cursors cursors);
    bool Refill(uint32_t* writePosition, uint32_t* unfilled);
    static bool MayWriteSkippedBlock(uint32_t play, uint32_t write, uint32_t writePosition);
    void SleepForRest(uint32_t bytes);
    void FillBlock(const SoundRegions& regions);
    bool ResetSpan(uint32_t play, uint32_t write, ResetSpaces* spaces);
    void FillResetBlocks(const SoundRegions& regions, uint32_t play, uint32_t write);
    void LogLockFailure(SoundResult result, const ResetSpaces& spaces, uint32_t write, uint32_t play);

    SoundOutput* output_;
    DiagnosticLog& log_;
    PlaybackClock& clock_;
    const bool raisePriority_ = true;
    std::unique_ptr<SoundBuffer> buffer_;
    PlaybackSource source_;
    std::atomic<bool> playing_{false};
    std::atomic<uint32_t> resets_{0};
    std::atomic<bool> threadRunning_{false};
    Thread thread_;
};

}  // namespace sonotrap
