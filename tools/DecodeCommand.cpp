#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "media/MusicFileReader.h"
#include "platform/MappedFile.h"
#include "tools/Commands.h"
#include "tools/ToolInput.h"

namespace sonotrap::tool {

namespace {

struct DecodeOptions {
    std::string input;
    std::string output;
    bool native = false;
};

// A 16-bit PCM WAV file written as it goes; Finish puts the sizes into the header.
class WavOutput {
public:
    bool Open(const std::string& path, uint32_t channels, uint32_t rate) {
        channels_ = channels;
        out_.open(path, std::ios::binary | std::ios::trunc);
        WriteHeader(rate, 0);
        rate_ = rate;
        return static_cast<bool>(out_);
    }
    // Room for `count` samples after those pending; Commit(n) keeps the first n written there.
    // The samples collect to about a megabyte before each write: one system call per frame
    // costs more than the rest of the output's handling. A decoder writes straight into them.
    int16_t* Room(size_t count) {
        if (pendingCount_ + count > kPendingSamples) Flush();
        return pending_.get() + pendingCount_;
    }
    void Commit(size_t count) {
        pendingCount_ += count;
        dataBytes_ += count * 2;
    }
    void Append(const int16_t* samples, size_t count) {
        for (size_t n; count > 0; samples += n, count -= n) {
            n = std::min(count, kPendingSamples);
            std::memcpy(Room(n), samples, n * 2);
            Commit(n);
        }
    }
    void Flush() {
        if constexpr (std::endian::native != std::endian::little) {
            for (size_t i = 0; i < pendingCount_; ++i) {
                const auto v = static_cast<uint16_t>(pending_[i]);
                pending_[i] = static_cast<int16_t>((v >> 8) | (v << 8));
            }
        }
        out_.write(reinterpret_cast<const char*>(pending_.get()), static_cast<std::streamsize>(pendingCount_ * 2));
        pendingCount_ = 0;
    }
    bool Finish() {
        Flush();
        if (dataBytes_ > 0xFFFFFFFFull - 36) return false;
        out_.seekp(0);
        WriteHeader(rate_, static_cast<uint32_t>(dataBytes_));
        out_.close();
        return !out_.fail();
    }

private:
    void Put(uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out_.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void WriteHeader(uint32_t rate, uint32_t dataBytes) {
        out_.write("RIFF", 4);
        Put(36 + dataBytes, 4);
        out_.write("WAVEfmt ", 8);
        Put(16, 4);
        Put(1, 2);
        Put(channels_, 2);
        Put(rate, 4);
        Put(rate * channels_ * 2, 4);
        Put(channels_ * 2, 2);
        Put(16, 2);
        out_.write("data", 4);
        Put(dataBytes, 4);
    }

    static constexpr size_t kPendingSamples = size_t{1} << 19;
    std::ofstream out_;
    std::unique_ptr<int16_t[]> pending_{new int16_t[kPendingSamples]};
    size_t pendingCount_ = 0;
    uint32_t channels_ = 1;
    uint32_t rate_ = 0;
    uint64_t dataBytes_ = 0;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "sonotrap-tool decode: %s\n", message.c_str());
    return 2;
}

// The decoder's own output: the stream's rate and channels, every frame that yields samples.
bool WriteNativeStream(Mp3StreamReader& mp3, WavOutput& out) {
    mp3.Rewind();
    while (const uint32_t bytes = mp3.DecodeNextFrame(out.Room(kMp3MaxFrameOutputBytes / 2))) out.Commit(bytes / 2);
    return out.Finish();
}

int RunNativeDecode(const DecodeOptions& options) {
    MappedFile file;
    if (!file.Open(options.input)) return Fail("cannot open '" + options.input + "'");
    auto reader = MusicFileReader::Create(file.Data(), file.Size(), 32000, nullptr);
    Mp3StreamReader* mp3 = IsReady(reader.get()) ? reader->Mp3Source() : nullptr;
    if (mp3 == nullptr) return Fail("'" + options.input + "': not an MP3 stream that can be read");
    WavOutput out;
    if (!out.Open(options.output, mp3->Format().channels, mp3->Format().sampleRate) || !WriteNativeStream(*mp3, out))
        return Fail("cannot write '" + options.output + "'");
    return 0;
}

int RunDecode(const DecodeOptions& options) {
    if (options.native) return RunNativeDecode(options);
    std::vector<int16_t> samples;
    std::string error;
    if (!LoadMonoSamples(options.input, &samples, &error)) return Fail(error);
    WavOutput out;
    if (!out.Open(options.output, 1, 32000)) return Fail("cannot write '" + options.output + "'");
    out.Append(samples.data(), samples.size());
    if (!out.Finish()) return Fail("cannot write '" + options.output + "'");
    return 0;
}

}  // namespace

void AddDecodeCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<DecodeOptions>();
    auto* cmd = app.add_subcommand(
        "decode", "Write the 32 kHz mono stream that playback reads from a WAV or MP3 file as a 16-bit WAV file");
    cmd->add_option("IN", options->input, "WAV or MP3 file")->required();
    cmd->add_option("OUT", options->output, "16-bit PCM WAV file to write")->required();
    cmd->add_flag("--native", options->native,
                  "Write the MP3 decoder's own output instead (the stream's rate and channels)");
    cmd->callback([options, &exitStatus] { exitStatus = RunDecode(*options); });
}

}  // namespace sonotrap::tool
