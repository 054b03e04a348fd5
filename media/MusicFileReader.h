#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "media/AudioFormat.h"
#include "media/Mp3StreamReader.h"
#include "media/RateConverter.h"
#include "media/WavDataReader.h"

namespace sonotrap {

// Turns a loaded music file (RIFF/WAVE with 16-bit PCM or MPEG Layer III data, or a raw MP3
// stream) into signed 16-bit mono PCM at the output rate, one music block at a time. The bytes
// belong to the caller and must stay valid for the reader's whole life; the reader never reads
// outside them, whatever the file claims. No lock: the owner serialises every call.
class MusicFileReader {
public:
    // Conversion modes, chosen at the end of Open.
    static constexpr uint32_t kModePcmMono = 0;
    static constexpr uint32_t kModeMp3Mono = 1;
    static constexpr uint32_t kModePcmStereo = 2;
    static constexpr uint32_t kModeMp3Stereo = 3;
    static constexpr uint32_t kModeConvert = 4;

    // Allocates a reader and opens it; the reader is returned even when Open failed (ask
    // IsReady). sharedDecoder is kept for the MP3 source and never used. An MP3 source is read
    // up to maxMp3Frames frames: the program's limit unless a tool asks for whole files. Null
    // only when memory is short.
    static std::unique_ptr<MusicFileReader> Create(const uint8_t* bytes, size_t byteCount,
                                                   uint32_t outputRate, void* sharedDecoder,
                                                   uint32_t maxMp3Frames = Mp3FrameIndex::kPlaybackMaxFrames);
    ~MusicFileReader();
    MusicFileReader(const MusicFileReader&) = delete;
    MusicFileReader& operator=(const MusicFileReader&) = delete;

    bool IsReady() const { return ready; }
    // floor(sampleFrames x output rate / source rate): what the whole file yields; 0 when the
    // file cannot be played.
    uint32_t GetOutputSampleCount() const;
    // Fills one music block (kMusicBlockSamples samples) and returns how many are real audio,
    // 0 at the end of the file (and after it, until Rewind). A short block is zero-padded.
    uint32_t ReadBlock(int16_t* block);
    // Back to the first sample.
    void Rewind();

    const AudioFormat& Format() const { return format; }
    uint32_t ConversionMode() const { return conversionMode; }
    double RatioOutIn() const { return ratioOutIn; }
    double RatioInOut() const { return ratioInOut; }
    const RateConverter* Converter() const { return converter.get(); }
    // The MP3 source, for tools that want the decoder's own output; null for PCM.
    Mp3StreamReader* Mp3Source() { return mp3Reader.get(); }

private:
    MusicFileReader() = default;
    bool Open(const uint8_t* bytes, size_t byteCount, uint32_t outputRate, void* sharedDecoder,
              uint32_t maxMp3Frames);
    bool OpenMp3(const uint8_t* data, size_t count, void* sharedDecoder, uint32_t maxMp3Frames);
    void ChooseConversionMode(uint32_t outputRate);

    AudioFormat format;
    uint32_t conversionMode = 0;
    std::unique_ptr<WavDataReader> wavReader;
    std::unique_ptr<Mp3StreamReader> mp3Reader;
    std::unique_ptr<RateConverter> converter;
    double ratioOutIn = 1.0;
    double ratioInOut = 1.0;
    bool needsConversion = false;
    bool downmix = false;
    bool ready = false;
};

// A missing reader counts as not ready.
inline bool IsReady(const MusicFileReader* reader) { return reader != nullptr && reader->IsReady(); }

}  // namespace sonotrap
