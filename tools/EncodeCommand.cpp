#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "mp3enc/Mp3Encoder.h"
#include "tools/Commands.h"
#include "tools/ToolInput.h"

// sonotrap-tool encode: a file's audio through the recorder's MP3 encoder (32 kHz mono,
// 64 kbit/s), fed 1152 samples at a time and flushed at the end, as a recording file is.
namespace sonotrap::tool {

namespace {

struct EncodeOptions {
    std::string input;
    std::string output;
};

int RunEncode(const EncodeOptions& options) {
    std::vector<int16_t> samples;
    std::string error;
    if (!LoadMonoSamples(options.input, &samples, &error)) {
        std::fprintf(stderr, "sonotrap-tool encode: %s\n", error.c_str());
        return 2;
    }
    std::FILE* file = std::fopen(options.output.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "sonotrap-tool encode: cannot create %s\n", options.output.c_str());
        return 2;
    }
    // Unbuffered, as a recording file: one write per frame, a failure seen at the frame it hit.
    std::setvbuf(file, nullptr, _IONBF, 0);
    auto encoder = std::make_unique<Mp3Encoder>();
    encoder->Initialise(64, 1);
    Mp3Sink sink(file);
    const size_t chunk = Mp3Encoder::kSamplesPerFrame;
    for (size_t at = 0; at < samples.size() && !sink.Failed(); at += chunk) {
        encoder->Encode(samples.data() + at, std::min(chunk, samples.size() - at), false, sink);
    }
    // After a refused write the file is already wrong; silence behind it would only hide where.
    if (!sink.Failed()) encoder->Encode(nullptr, 0, true, sink);
    const bool closed = std::fclose(file) == 0;
    if (sink.Failed() || !closed) {
        std::fprintf(stderr, "sonotrap-tool encode: writing %s failed\n", options.output.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

void AddEncodeCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<EncodeOptions>();
    auto* cmd = app.add_subcommand("encode", "Encode a file as the recorder's MP3 (MPEG-1 Layer III, 32 kHz mono, 64 kbit/s)");
    cmd->add_option("IN", options->input, "Audio to encode (16-bit PCM WAV, mono, 32000 Hz)")->required();
    cmd->add_option("OUT", options->output, "MP3 file to write")->required();
    cmd->callback([options, &exitStatus] { exitStatus = RunEncode(*options); });
}

}  // namespace sonotrap::tool
