#include "media/MusicFileReader.h"

#include <cstring>
#include <new>

namespace sonotrap {

std::unique_ptr<MusicFileReader> MusicFileReader::Create(const uint8_t* bytes, size_t byteCount,
                                                         uint32_t outputRate, void* sharedDecoder) {
    std::unique_ptr<MusicFileReader> reader(new (std::nothrow) MusicFileReader);
    if (reader) reader->Open(bytes, byteCount, outputRate, sharedDecoder);
    return reader;
}

MusicFileReader::~MusicFileReader() = default;

bool MusicFileReader::Open(const uint8_t* bytes, size_t byteCount, uint32_t outputRate, void*) {
    format = AudioFormat{};
    ratioOutIn = ratioInOut = 1.0;
    needsConversion = downmix = ready = false;
    if (bytes == nullptr || outputRate == 0) return false;

    // A RIFF file stands or falls by its header: it is never retried as a raw stream.
    if (byteCount >= 4 && std::memcmp(bytes, "RIFF", 4) == 0) {
        wavReader.reset(new (std::nothrow) WavDataReader);
        if (!wavReader || !wavReader->ParseRiffHeader(bytes, byteCount)) return false;
        format = wavReader->Format();
    }
    if (format.formatTag != kFormatPcm) return false;  // MP3 data needs the stream reader
    if (format.formatTag == 0 || format.sampleFrames == 0) return false;

    if (format.sampleRate != outputRate) {
        needsConversion = true;
        ratioOutIn = static_cast<double>(outputRate) / format.sampleRate;
        ratioInOut = static_cast<double>(format.sampleRate) / outputRate;
    }
    downmix = format.channels != 1;
    if (needsConversion) {
        conversionMode = kModeConvert;
    } else {
        conversionMode = downmix ? kModePcmStereo : kModePcmMono;
    }
    if (needsConversion) {
        converter = RateConverter::Create(wavReader.get(), nullptr, format, ratioOutIn, ratioInOut);
        if (!converter) return false;
    }
    ready = true;
    return true;
}

uint32_t MusicFileReader::GetOutputSampleCount() const {
    if (!ready) return 0;
    return ScaledSampleCount(format.sampleFrames, ratioOutIn);
}

uint32_t MusicFileReader::ReadBlock(int16_t* block) {
    if (!ready || block == nullptr) return 0;
    switch (conversionMode) {
        case kModePcmMono: return wavReader->ReadMonoBlock(block);
        case kModePcmStereo: return wavReader->ReadDownmixBlock(block);
        case kModeConvert: return converter->ReadBlock(block);
        default: return 0;
    }
}

void MusicFileReader::Rewind() {
    if (!ready) return;
    if (wavReader) wavReader->Rewind();
    if (converter) converter->Rewind();
}

}  // namespace sonotrap
