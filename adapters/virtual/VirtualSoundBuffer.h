#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/SoundBuffer.h"

namespace sonotrap {

// A sound buffer that plays into memory, for tests. Nothing moves by itself: while playing,
// Advance(ms) plays 64 bytes per millisecond from the play cursor, appends them to Played() and
// moves the cursors. The write cursor stays writeLead bytes ahead of the play cursor (0 makes
// the two equal). Failures and inconsistent locks can be injected. Safe to call from any thread;
// the regions of a Lock point into the buffer itself.
class VirtualSoundBuffer : public SoundBuffer {
public:
    static constexpr uint32_t kDefaultWriteLead = 960;  // 15 ms

    // Ways to spoil the next locks (each costs one lock).
    enum class LockFault { None, NullFirst, ShortTotal };

    explicit VirtualSoundBuffer(uint32_t writeLead = kDefaultWriteLead);

    SoundResult SetCurrentPosition(uint32_t playPosition) override;
    SoundResult Play() override;
    SoundResult Stop() override;
    SoundResult GetCurrentPosition(uint32_t* playCursor, uint32_t* writeCursor) override;
    SoundResult GetStatus(uint32_t* status) override;
    SoundResult Lock(uint32_t offset, uint32_t bytes, bool fromWriteCursor, SoundRegions* regions) override;
    SoundResult Unlock(const SoundRegions& regions) override;

    // Plays ms milliseconds (nothing when stopped).
    void Advance(uint32_t ms);
    void AdvanceBytes(uint32_t bytes);
    void SetWriteLead(uint32_t writeLead);

    // The next count Lock calls fail with result.
    void FailLocks(SoundResult result, int count = 1);
    // The next count cursor reads fail with result.
    void FailPositionReads(SoundResult result, int count = 1);
    void DistortLocks(LockFault fault, int count = 1);

    std::vector<uint8_t> Played() const;
    // Bytes played that had not been written since the device last played them (stale audio).
    uint64_t StaleBytesPlayed() const;
    int LockCount() const;
    int PlayCalls() const;
    bool IsPlaying() const;
    std::vector<uint8_t> Contents() const;

private:
    uint32_t WriteCursorLocked() const;

    mutable std::mutex mutex_;
    std::vector<uint8_t> data_;
    std::vector<uint8_t> fresh_;  // 1 where written since last played
    std::vector<uint8_t> played_;
    uint64_t staleBytes_ = 0;
    uint32_t play_ = 0;
    uint32_t writeLead_;
    bool playing_ = false;
    int lockCount_ = 0;
    int playCalls_ = 0;
    SoundResult lockFailure_ = kSoundOk;
    int lockFailures_ = 0;
    SoundResult positionFailure_ = kSoundOk;
    int positionFailures_ = 0;
    LockFault lockFault_ = LockFault::None;
    int lockFaults_ = 0;
};

// An output device that hands out VirtualSoundBuffers (or refuses with a chosen result).
// The last buffer made stays reachable for the test while its owner keeps it.
class VirtualSoundOutput : public SoundOutput {
public:
    explicit VirtualSoundOutput(uint32_t writeLead = VirtualSoundBuffer::kDefaultWriteLead)
        : writeLead_(writeLead) {}
    SoundResult CreateSoundBuffer(std::unique_ptr<SoundBuffer>* buffer) override;
    void RefuseWith(SoundResult result) { refusal_ = result; }
    // Buffers made from now on fail their first count locks with result.
    void FailLocksOfNewBuffers(SoundResult result, int count) {
        newLockFailure_ = result;
        newLockFailures_ = count;
    }
    VirtualSoundBuffer* LastBuffer() const { return last_; }

private:
    uint32_t writeLead_;
    SoundResult refusal_ = kSoundOk;
    SoundResult newLockFailure_ = kSoundOk;
    int newLockFailures_ = 0;
    VirtualSoundBuffer* last_ = nullptr;
};

}  // namespace sonotrap
