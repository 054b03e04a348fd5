#include "adapters/virtual/VirtualSoundBuffer.h"

#include <algorithm>

namespace sonotrap {

VirtualSoundBuffer::VirtualSoundBuffer(uint32_t writeLead)
    : data_(kSoundBufferBytes, 0), fresh_(kSoundBufferBytes, 0), writeLead_(writeLead % kSoundBufferBytes) {}

SoundResult VirtualSoundBuffer::SetCurrentPosition(uint32_t playPosition) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (playPosition >= kSoundBufferBytes) return kSoundInvalidParam;
    play_ = playPosition;
    return kSoundOk;
}

SoundResult VirtualSoundBuffer::Play() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++playCalls_;
    playing_ = true;
    return kSoundOk;
}

SoundResult VirtualSoundBuffer::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = false;
    return kSoundOk;
}

uint32_t VirtualSoundBuffer::WriteCursorLocked() const { return (play_ + writeLead_) % kSoundBufferBytes; }

SoundResult VirtualSoundBuffer::GetCurrentPosition(uint32_t* playCursor, uint32_t* writeCursor) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (positionFailures_ > 0) {
        --positionFailures_;
        return positionFailure_;
    }
    if (playCursor) *playCursor = play_;
    if (writeCursor) *writeCursor = WriteCursorLocked();
    return kSoundOk;
}

SoundResult VirtualSoundBuffer::GetStatus(uint32_t* status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (status) *status = playing_ ? (kSoundStatusPlaying | kSoundStatusLooping) : 0;
    return kSoundOk;
}

SoundResult VirtualSoundBuffer::Lock(uint32_t offset, uint32_t bytes, bool fromWriteCursor,
                                     SoundRegions* regions) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++lockCount_;
    *regions = SoundRegions{};
    if (lockFailures_ > 0) {
        --lockFailures_;
        return lockFailure_;
    }
    const uint32_t start = fromWriteCursor ? WriteCursorLocked() : offset;
    if (bytes == 0 || bytes > kSoundBufferBytes || start >= kSoundBufferBytes) return kSoundInvalidParam;
    *regions = RegionsOf(data_.data(), start, bytes);
    if (lockFaults_ > 0) {
        --lockFaults_;
        if (lockFault_ == LockFault::NullFirst) {
            regions->first = nullptr;
            regions->firstBytes = 0;
        } else if (lockFault_ == LockFault::ShortTotal) {
            if (regions->secondBytes > 0) {
                regions->secondBytes -= 1;
            } else {
                regions->firstBytes -= 1;
            }
        }
    }
    return kSoundOk;
}

SoundResult VirtualSoundBuffer::Unlock(const SoundRegions& regions) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Everything handed out counts as written: the device cannot tell what the caller changed.
    auto mark = [this](const uint8_t* p, uint32_t n) {
        if (!p || n == 0) return;
        const size_t at = static_cast<size_t>(p - data_.data());
        if (at >= data_.size() || n > data_.size() - at) return;
        std::fill_n(fresh_.begin() + static_cast<std::ptrdiff_t>(at), n, uint8_t{1});
    };
    mark(regions.first, regions.firstBytes);
    mark(regions.second, regions.secondBytes);
    return kSoundOk;
}

void VirtualSoundBuffer::Advance(uint32_t ms) { AdvanceBytes(ms * (kSoundBytesPerSecond / 1000)); }

void VirtualSoundBuffer::AdvanceBytes(uint32_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!playing_) return;
    for (uint32_t i = 0; i < bytes; ++i) {
        played_.push_back(data_[play_]);
        if (!fresh_[play_]) ++staleBytes_;
        fresh_[play_] = 0;
        play_ = (play_ + 1) % kSoundBufferBytes;
    }
}

void VirtualSoundBuffer::SetWriteLead(uint32_t writeLead) {
    std::lock_guard<std::mutex> lock(mutex_);
    writeLead_ = writeLead % kSoundBufferBytes;
}

void VirtualSoundBuffer::FailLocks(SoundResult result, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    lockFailure_ = result;
    lockFailures_ = count;
}

void VirtualSoundBuffer::FailPositionReads(SoundResult result, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    positionFailure_ = result;
    positionFailures_ = count;
}

void VirtualSoundBuffer::DistortLocks(LockFault fault, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    lockFault_ = fault;
    lockFaults_ = count;
}

std::vector<uint8_t> VirtualSoundBuffer::Played() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return played_;
}

uint64_t VirtualSoundBuffer::StaleBytesPlayed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return staleBytes_;
}

int VirtualSoundBuffer::LockCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lockCount_;
}

int VirtualSoundBuffer::PlayCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return playCalls_;
}

bool VirtualSoundBuffer::IsPlaying() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return playing_;
}

std::vector<uint8_t> VirtualSoundBuffer::Contents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
}

SoundResult VirtualSoundOutput::CreateSoundBuffer(std::unique_ptr<SoundBuffer>* buffer) {
    buffer->reset();
    if (refusal_ != kSoundOk) return refusal_;
    auto made = std::make_unique<VirtualSoundBuffer>(writeLead_);
    if (newLockFailures_ > 0) made->FailLocks(newLockFailure_, newLockFailures_);
    last_ = made.get();
    *buffer = std::move(made);
    return kSoundOk;
}

}  // namespace sonotrap
