#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonotrap {

// Lists the Layer III frames of a raw MPEG-1/MPEG-2 stream while a music file is opened.
// Run() skips a leading ID3v2 tag, finds the first frame (one whose successor is a frame too),
// then walks frame by frame, resynchronising over damage and stopping at an ID3v1/ID3v2 tag.
// Free-format and MPEG-2.5 streams are refused. Frame starts (offsets into the data) and
// lengths go into chunk tables of 1024 entries that grow without reallocating. Every read
// stays inside [data, data + size). The data must outlive the index.
class Mp3FrameIndex {
public:
    static constexpr uint32_t kChunkEntries = 1024;
    // The program's Playback indexes at most this many frames (about 57 minutes at 44.1 kHz);
    // tools that read whole archives pass a larger limit to Run.
    static constexpr uint32_t kPlaybackMaxFrames = 128 * kChunkEntries;

    Mp3FrameIndex() = default;
    ~Mp3FrameIndex();  // frees the chunks
    Mp3FrameIndex(const Mp3FrameIndex&) = delete;
    Mp3FrameIndex& operator=(const Mp3FrameIndex&) = delete;

    // Indexes the stream, at most maxFrames frames (the walk ends there); true when at least
    // one frame with a channel count was found.
    bool Run(const uint8_t* bytes, size_t count, uint32_t maxFrames = kPlaybackMaxFrames);

    // Offset of frame i's first header byte from the data start, and its length in bytes
    // (header included; a frame cut short by the end of the data has the bytes it holds).
    uint32_t FrameOffset(uint32_t i) const;
    uint32_t FrameLength(uint32_t i) const;
    // Fills frameStart (pointers into the data) and frameLength for all frameCount frames;
    // false when capacity is below frameCount.
    bool CopyFrameTables(const uint8_t** frameStart, uint32_t* frameLength,
                         uint32_t capacity) const;
    // Frees the chunk tables (the totals stay).
    void ReleaseChunks();

    // Totals: N frames indexed give N - 1 frames of audio (the decoder never decodes the last).
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t sampleFrames = 0;
    uint32_t frameCount = 0;
    uint32_t totalPcmBytes = 0;
    // Fields of the last parsed header.
    uint32_t id = 0;
    uint32_t layer = 0;
    uint32_t protection = 0;
    uint32_t bitrateIndex = 0;
    uint32_t samplingIndex = 0;
    uint32_t padding = 0;
    uint32_t mode = 0;

private:
    bool FindFirstFrame(size_t& position);
    void Walk(size_t position);
    bool Resynchronise(size_t& position);
    bool ValidHeader(uint32_t word);
    uint32_t ParseLength(uint32_t word);
    bool Record(uint32_t start, uint32_t length);
    uint32_t Word(size_t position) const;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    uint32_t maxFrames_ = kPlaybackMaxFrames;
    std::vector<uint32_t*> startChunks_;
    std::vector<uint32_t*> lengthChunks_;
    uint32_t chunksInUse_ = 0;
    uint32_t referenceHeader_ = 0;
    uint32_t referenceLength_ = 0;
    uint32_t alternateHeader_ = 0;
    uint32_t alternateLength_ = 0;
    bool alternateKnown_ = false;
};

}  // namespace sonotrap
