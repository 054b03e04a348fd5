#include "capture/WavFileWriter.h"

#include <array>
#include <cstring>

namespace sonotrap {

namespace {

constexpr uint32_t kRiffSizeOffset = 4;
constexpr uint32_t kSampleCountOffset = 44;
constexpr uint32_t kDataSizeOffset = 52;
constexpr uint32_t kPlaceholderSampleCount = 0xFFFFFFFFu;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool WriteAt(std::FILE* stream, long offset, uint32_t value) {
    uint8_t bytes[4];
    Put32(bytes, value);
    return std::fseek(stream, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, stream) == 4;
}

}  // namespace

WavFileWriter::~WavFileWriter() { FinishWavFile(); }

bool WavFileWriter::WriteHeader() {
    std::array<uint8_t, kHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    Put32(&h[4], 0);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    Put32(&h[16], 16);
    Put16(&h[20], 1);      // PCM
    Put16(&h[22], 1);      // mono
    Put32(&h[24], 32000);  // samples per second
    Put32(&h[28], 64000);  // bytes per second
    Put16(&h[32], 2);      // block align
    Put16(&h[34], 16);     // bits per sample
    std::memcpy(&h[36], "fact", 4);
    Put32(&h[40], 4);
    Put32(&h[44], kPlaceholderSampleCount);
    std::memcpy(&h[48], "data", 4);
    Put32(&h[52], 0);
    return std::fwrite(h.data(), 1, h.size(), stream_) == h.size() && std::fflush(stream_) == 0;
}

bool WavFileWriter::OpenWavFile(const std::string& path) {
    if (stream_) return false;
    dataBytes_ = 0;
    // "x": fail rather than replace a file that appeared since the name was chosen.
    stream_ = std::fopen(path.c_str(), "wbx");
    if (!stream_) return false;
    // Unbuffered, so a failed write is seen at the block that failed, with its true length.
    std::setvbuf(stream_, nullptr, _IONBF, 0);
    if (!WriteHeader()) {
        std::fclose(stream_);
        stream_ = nullptr;
        std::remove(path.c_str());
        return false;
    }
    return true;
}

bool WavFileWriter::WriteWavBlock(const uint8_t* p, uint32_t n) {
    if (!stream_) return false;
    if (n > RoomBytes()) {
        FinishWavFile();
        return false;
    }
    const size_t written = std::fwrite(p, 1, n, stream_);
    // Only whole samples count; a torn last sample stays outside the data chunk.
    dataBytes_ += static_cast<uint32_t>(written) & ~1u;
    if (written == n) return true;
    FinishWavFile();
    return false;
}

bool WavFileWriter::CommitSizes() {
    if (!stream_) return false;
    const bool ok = WriteAt(stream_, kRiffSizeOffset, kHeaderBytes - 8 + dataBytes_) &&
                    WriteAt(stream_, kSampleCountOffset, dataBytes_ / 2) &&
                    WriteAt(stream_, kDataSizeOffset, dataBytes_) &&
                    std::fseek(stream_, kHeaderBytes + static_cast<long>(dataBytes_), SEEK_SET) == 0;
    return std::fflush(stream_) == 0 && ok;
}

void WavFileWriter::FinishWavFile() {
    if (!stream_) return;
    CommitSizes();
    std::fclose(stream_);
    stream_ = nullptr;
}

}  // namespace sonotrap
