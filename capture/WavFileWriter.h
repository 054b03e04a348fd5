#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace sonotrap {

// Writes a recording as RIFF/WAVE, 16-bit mono PCM at 32000 Hz, with exactly this layout:
// "RIFF" size "WAVE", "fmt " 16 (PCM, 1 channel, 32000, 64000, 2, 16), "fact" 4 sample-count,
// "data" size, samples. Sizes stay 0 (sample count 0xFFFFFFFF) until CommitSizes or Finish
// writes the true ones; committing after each finished group keeps a file that the program
// never finished readable up to that point. Never overwrites an existing file.
class WavFileWriter {
public:
    static constexpr uint32_t kHeaderBytes = 56;
    // The most data the 32-bit RIFF size can describe, in whole capture blocks.
    static constexpr uint32_t kMaxDataBytes = (0xFFFFFFFFu - kHeaderBytes) / 4608 * 4608;

    WavFileWriter() = default;
    ~WavFileWriter();  // finishes a file still open
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // False when a file is already open, the name is taken, or the header cannot be written
    // (a half-made file is removed).
    bool OpenWavFile(const std::string& path);
    // True when all n bytes went to the file. On failure (also when the file would grow past
    // what a RIFF header can describe) the file is finished with what it holds and closed;
    // later writes do nothing.
    bool WriteWavBlock(const uint8_t* p, uint32_t n);
    // Rewrites the RIFF, fact and data sizes for what is in the file now and flushes it.
    bool CommitSizes();
    // Writes the final sizes and closes; does nothing when no file is open.
    void FinishWavFile();

    // A smaller data limit than the RIFF one (for tests); applies to the open file too.
    void SetMaxDataBytes(uint32_t bytes) { maxDataBytes_ = std::min(bytes, kMaxDataBytes); }
    // Bytes the file can still take before it reaches its limit (0 when no file is open).
    uint32_t RoomBytes() const { return stream_ ? maxDataBytes_ - std::min(dataBytes_, maxDataBytes_) : 0; }

    bool IsOpen() const { return stream_ != nullptr; }
    uint32_t DataBytes() const { return dataBytes_; }

private:
    bool WriteHeader();
    std::FILE* stream_ = nullptr;
    uint32_t dataBytes_ = 0;
    uint32_t maxDataBytes_ = kMaxDataBytes;
};

}  // namespace sonotrap
