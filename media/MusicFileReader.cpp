#include "media/MusicFileReader.h"

#include <cstring>
#include <new>

namespace sonotrap {

std::unique_ptr<MusicFileReader> MusicFileReader::Create(const uint8_t* bytes, size_t byteCount,
                                                         uint32_t outputRate, void* sharedDecoder,
                                                         uint32_t maxMp3Frames) {
    std::unique_ptr<MusicFileReader> reader(new (std::nothrow) MusicFileReader);
    if (reader) reader->Open(bytes, byteCount, outputRate, sharedDecoder, maxMp3Frames);
    return reader;
}

MusicFileReader::~MusicFileReader() = default;

bool MusicFileReader::Open(const uint8_t* bytes, size_t byteCount, uint32_t outputRate, void* sharedDecoder,
                           uint32_t maxMp3Frames) {
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
    if (format.formatTag != kFormatPcm) {
        // Raw data, or MPEG in a RIFF file from its data chunk to the end of the file.
        const uint8_t* data = bytes;
        if (format.formatTag == kFormatMp3) {
            data = wavReader->DataStart();
            wavReader.reset();
        }
        const size_t count = byteCount - static_cast<size_t>(data - bytes);
        if (!OpenMp3(data, count, sharedDecoder, maxMp3Frames)) return false;
    }
    if (format.formatTag == 0 || format.sampleFrames == 0) return false;

    ChooseConversionMode(outputRate);
    if (needsConversion) {
        converter = RateConverter::Create(wavReader.get(), mp3Reader.get(), format, ratioOutIn, ratioInOut);
        if (!converter) return false;
    }
    ready = true;
    return true;
}

bool MusicFileReader::OpenMp3(const uint8_t* data, size_t count, void* sharedDecoder, uint32_t maxMp3Frames) {
    mp3Reader.reset(new (std::nothrow) Mp3StreamReader);
    if (!mp3Reader || !mp3Reader->Open(data, count, sharedDecoder, maxMp3Frames)) {
        mp3Reader.reset();
        return false;
    }
    format = mp3Reader->Format();
    return true;
}

void MusicFileReader::ChooseConversionMode(uint32_t outputRate) {
    if (format.sampleRate != outputRate) {
        needsConversion = true;
        ratioOutIn = static_cast<double>(outputRate) / format.sampleRate;
        ratioInOut = static_cast<double>(format.sampleRate) / outputRate;
    }
    downmix = format.channels != 1;
    const bool mp3 = mp3Reader != nullptr;
    if (needsConversion) {
        conversionMode = kModeConvert;
    } else if (downmix) {
        conversionMode = mp3 ? kModeMp3Stereo : kModePcmStereo;
    } else {
        conversionMode = mp3 ? kModeMp3Mono : kModePcmMono;
    }
}

uint32_t MusicFileReader::GetOutputSampleCount() const {
    if (!ready) return 0;
    return ScaledSampleCount(format.sampleFrames, ratioOutIn);
}

uint32_t MusicFileReader::ReadBlock(int16_t* block) {
    if (!ready || block == nullptr) return 0;
    switch (conversionMode) {
        case kModePcmMono: return wavReader->ReadMonoBlock(block);
        case kModeMp3Mono: return mp3Reader->ReadMonoBlock(block);
        case kModePcmStereo: return wavReader->ReadDownmixBlock(block);
        case kModeMp3Stereo: return mp3Reader->ReadDownmixBlock(block);
        case kModeConvert: return converter->ReadBlock(block);
        default: return 0;
    }
}

void MusicFileReader::Rewind() {
    if (!ready) return;
    if (wavReader) wavReader->Rewind();
    if (mp3Reader) mp3Reader->Rewind();
    if (converter) converter->Rewind();
}

}  // namespace sonotrap
