#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/MusicFileReader.h"
#include "platform/MappedFile.h"

// Reading the audio a sub-command works on: 16-bit mono samples at 32000 Hz, as playback hears
// them, read as a stream so that memory stays flat however long the file is.
namespace sonotrap::tool {

// A file's audio block by block through the music file reader, exactly TotalSamples() long (a
// stream that runs dry a little early is padded with silence). MP3 files are read whole, past
// the program's frame limit. Pages of the mapped file that were read are given back as it goes.
class MonoStream {
public:
    // On failure returns false with a one-line reason in *error (no trailing newline).
    bool Open(const std::string& path, std::string* error);
    uint64_t TotalSamples() const { return total_; }
    uint64_t Position() const { return position_; }
    // Copies the next samples, up to count; fewer only at the end of the stream.
    size_t Read(int16_t* out, size_t count);

private:
    void ReleaseReadPages(size_t upTo);

    MappedFile file_;
    std::unique_ptr<MusicFileReader> reader_;
    uint64_t total_ = 0;
    uint64_t position_ = 0;
    int16_t block_[kMusicBlockSamples] = {};
    uint32_t blockFill_ = 0;  // samples in block_
    uint32_t blockUsed_ = 0;  // of them already handed out
    bool dry_ = false;        // the reader has nothing more
    size_t released_ = 0;     // bytes at the start of the mapping given back
};

// The windows that the capture side analyses, over a stream read once from start to end: block
// k's window is the stream from k*2304 - 13824 on, zeros outside it. Blocks must come in order.
class BlockWindows {
public:
    explicit BlockWindows(MonoStream& stream) : stream_(stream) {}
    void Fill(size_t block, int16_t* window, size_t size);

private:
    MonoStream& stream_;
    std::vector<int16_t> held_;  // stream samples from heldStart_ on
    uint64_t heldStart_ = 0;
};

// Fills samples with the whole file's audio (for commands that need it all at once).
bool LoadMonoSamples(const std::string& path, std::vector<int16_t>* samples, std::string* error);

}  // namespace sonotrap::tool
