#include "capture/RecordingFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "log/DiagnosticLog.h"
#include "capture/PeakLog.h"
#include "mp3enc/Mp3Encoder.h"

namespace sonotrap {

namespace {
constexpr int kEncoderChannels = 1;
constexpr int kEncoderBitrateKbps = 64;
constexpr uint32_t kEncoderChunkSamples = kEncoderChannels * Mp3Encoder::kSamplesPerFrame;
constexpr int kMaxNameSuffix = 9999;
}  // namespace

RecordingFile::RecordingFile(DiagnosticLog& log) : log_(log) {}

RecordingFile::~RecordingFile() { CloseRecordingFile(); }

void RecordingFile::BeginRun(bool mp3, const std::string& directory, bool makeEncoder) {
    mp3_ = mp3;
    std::error_code ec;
    std::filesystem::path dir = directory.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(directory);
    dir = std::filesystem::absolute(dir, ec);
    directory_ = dir.string();
    if (!directory_.empty() && directory_.back() != '/') directory_ += '/';
    counters_ = RecordingCounters{};
    firstFailure_.clear();
    if (makeEncoder) {
        // A fresh encoder per MP3 Record run; the previous run's goes now.
        encoder_ = std::make_unique<Mp3Encoder>();
        encoderEnabled_ = encoder_->Initialise(kEncoderBitrateKbps, kEncoderChannels);
    }
}

std::string RecordingFile::MakeRecordingName(const char* timeStamp) const {
    const std::string stem = directory_ + timeStamp;
    const std::string extension = mp3_ ? ".mp3" : ".wav";
    std::error_code ec;
    std::string name = stem + extension;
    for (int suffix = 2; suffix <= kMaxNameSuffix && std::filesystem::exists(name, ec); ++suffix) {
        name = stem + "-" + std::to_string(suffix) + extension;
    }
    return name;
}

bool RecordingFile::OpenRecordingFile(const char* timeStamp) {
    if (open_) return false;
    const std::string name = MakeRecordingName(timeStamp);
    errno = 0;
    if (mp3_) {
        mp3Stream_ = std::fopen(name.c_str(), "wbx");
        if (!mp3Stream_) {
            NoteFailure(name, errno);
            return false;
        }
        // Unbuffered: each frame is one write, so a crash never leaves half a frame behind.
        std::setvbuf(mp3Stream_, nullptr, _IONBF, 0);
    } else if (!wav_.OpenWavFile(name)) {
        NoteFailure(name, errno);
        return false;
    }
    path_ = name;
    open_ = true;
    failed_ = false;
    return true;
}

uint32_t RecordingFile::WriteMp3(const uint8_t* p, uint32_t n, bool flush) {
    if (!mp3Stream_ || !encoder_ || !encoderEnabled_) return 0;
    Mp3Sink sink(mp3Stream_);
    const int16_t* samples = reinterpret_cast<const int16_t*>(p);
    uint32_t left = n / 2;
    size_t bytes = 0;
    if (left > 0 && samples) {
        for (;;) {
            if (left < kEncoderChunkSamples) flush = true;
            bytes += encoder_->Encode(samples, std::min(left, kEncoderChunkSamples), flush, sink);
            if (left < kEncoderChunkSamples) break;
            samples += kEncoderChunkSamples;
            left -= kEncoderChunkSamples;
            if (left == 0) break;
        }
    } else if (flush) {
        bytes += encoder_->Encode(samples, left, flush, sink);
    }
    if (sink.Failed()) ReportWriteFailure();
    return static_cast<uint32_t>(bytes);
}

uint32_t RecordingFile::WriteWav(const uint8_t* p, uint32_t n) {
    if (!wav_.IsOpen() || n == 0 || !p) return 0;
    const uint32_t before = wav_.DataBytes();
    const bool ok = wav_.WriteWavBlock(p, n);
    const uint32_t written = wav_.DataBytes() - before;
    if (!ok) ReportWriteFailure();
    return written;
}

uint32_t RecordingFile::BlocksBeforeLimit() const {
    return !mp3_ && wav_.IsOpen() ? wav_.RoomBytes() / kBlockBytes : UINT32_MAX;
}

void RecordingFile::NoteFailure(const std::string& path, int error) {
    if (firstFailure_.empty()) firstFailure_ = path + ": " + (error ? std::strerror(error) : "write failed");
}

void RecordingFile::ReportWriteFailure() {
    if (failed_) return;
    failed_ = true;
    NoteFailure(path_, errno);
    // What reached the file stays a valid recording; nothing more goes into it.
    if (mp3Stream_) {
        std::fclose(mp3Stream_);
        mp3Stream_ = nullptr;
    }
    wav_.FinishWavFile();
    log_.LogLine("Write error, recording file finished early: " + path_);
}

void RecordingFile::CountWrite(uint32_t fileBytes, uint32_t pcmBytes) {
    counters_.fileBytes += fileBytes;
    counters_.blocksWritten += pcmBytes / kBlockBytes;
    counters_.elapsedSeconds = static_cast<uint32_t>(counters_.blocksWritten * 2304.0 / 32000.0);
    counters_.kilobytes = counters_.fileBytes / 1024;
    counters_.countersChanged = true;
}

void RecordingFile::WriteRecordingBlock(const uint8_t* p, uint32_t n, bool flush) {
    if (mp3_) {
        const uint32_t bytes = WriteMp3(p, n, flush);
        // Blocks that did not reach the file are not counted as recorded.
        CountWrite(bytes, failed_ ? 0 : n);
    } else {
        const uint32_t written = WriteWav(p, n);
        CountWrite(written, written);
    }
}

void RecordingFile::CommitGroup() {
    if (!open_) return;
    if (mp3Stream_) std::fflush(mp3Stream_);
    if (wav_.IsOpen() && !wav_.CommitSizes()) ReportWriteFailure();
}

void RecordingFile::CloseRecordingFile() {
    if (open_) {
        if (mp3_) {
            if (mp3Stream_) {
                WriteRecordingBlock(nullptr, 0, true);
                std::FILE* stream = mp3Stream_;
                mp3Stream_ = nullptr;
                if (stream && std::fclose(stream) != 0) ReportWriteFailure();
            }
            if (encoder_ && encoderEnabled_) encoder_->Reset();
        } else {
            wav_.FinishWavFile();
        }
        open_ = false;
    }
    if (counters_.fileBytes != 0) {
        log_.LogLine("");
        log_.LogText("File length: ");
        FormatDuration(log_, counters_.blocksWritten);
        log_.LogValue("Total KBytes recorded", static_cast<int32_t>(counters_.kilobytes));
    }
    counters_ = RecordingCounters{};
}

}  // namespace sonotrap
