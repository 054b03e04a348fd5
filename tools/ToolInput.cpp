#include "tools/ToolInput.h"

#include <algorithm>

#include "media/MusicFileReader.h"
#include "platform/MappedFile.h"

namespace sonotrap::tool {

namespace {

constexpr uint32_t kOutputRate = 32000;
// About nine hours: beyond this a file is taken as damaged rather than read into memory.
constexpr uint32_t kMaxSamples = 1u << 30;

}  // namespace

// The stream that playback hears: whatever the music file reader reads (WAV with 16-bit PCM
// or MP3 data, raw MP3), as 32 kHz mono, exactly GetOutputSampleCount samples long; a stream
// that runs dry a little early is padded with silence.
bool LoadMonoSamples(const std::string& path, std::vector<int16_t>* samples, std::string* error) {
    samples->clear();
    MappedFile file;
    if (!file.Open(path)) {
        *error = "cannot open '" + path + "'";
        return false;
    }
    auto reader = MusicFileReader::Create(file.Data(), file.Size(), kOutputRate, nullptr);
    const uint32_t total = IsReady(reader.get()) ? reader->GetOutputSampleCount() : 0;
    if (total == 0) {
        *error = "'" + path + "': not a file that can be read (WAV with 16-bit PCM or MP3 data, or MP3)";
        return false;
    }
    if (total > kMaxSamples) {
        *error = "'" + path + "': too long (" + std::to_string(total) + " samples at 32000 Hz)";
        return false;
    }
    samples->reserve(total);
    int16_t block[kMusicBlockSamples];
    while (samples->size() < total) {
        const uint32_t n = reader->ReadBlock(block);
        if (n == 0) break;
        samples->insert(samples->end(), block, block + std::min<size_t>(n, total - samples->size()));
    }
    samples->resize(total, 0);
    return true;
}

}  // namespace sonotrap::tool
