#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace sonotrap {

// Where the MP3 encoder's frames go: a C stream (one fwrite per frame) or a write function.
// A write that does not take every byte is counted, so the owner learns of it through
// Failed() after each Encode, logs it and finishes the file: no frame is lost silently.
// What a short write did put in the file is still reported, so byte counts match the disk.
class Mp3Sink {
public:
    // Returns true when all count bytes were taken.
    using WriteFunction = std::function<bool(const uint8_t* bytes, size_t count)>;

    explicit Mp3Sink(std::FILE* file) : file_(file) {}
    explicit Mp3Sink(WriteFunction write) : write_(std::move(write)) {}

    // Hands the bytes over in one write; returns how many reached the target (a write
    // function takes all or nothing). Fewer than count marks the sink failed.
    size_t Write(const uint8_t* bytes, size_t count);
    bool Failed() const { return failedWrites_ > 0; }
    uint32_t FailedWrites() const { return failedWrites_; }
    void ClearFailure() { failedWrites_ = 0; }

private:
    std::FILE* file_ = nullptr;
    WriteFunction write_;
    uint32_t failedWrites_ = 0;
};

}  // namespace sonotrap
