#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "capture/WavFileWriter.h"

namespace sonotrap {

class DiagnosticLog;
class Mp3Encoder;

// Per-file counters of the open recording (zeroed at each run start and file close).
struct RecordingCounters {
    uint32_t fileBytes = 0;       // bytes in the file: PCM bytes (WAV) or encoder output (MP3)
    uint32_t blocksWritten = 0;   // capture blocks handed to the file
    uint32_t elapsedSeconds = 0;  // floor(blocksWritten * 2304 / 32000)
    uint32_t kilobytes = 0;       // fileBytes / 1024
    bool countersChanged = false;
};

// One recording file at a time, WAV or MP3, in the recording directory and named after the time
// stamp of its first block (MMDDhhmmss.wav / .mp3). A name already taken gets "-2", "-3", ...
// before the extension, so no recording is ever overwritten. Only bytes that reached the file
// are counted; a write error finishes the file, logs a line and marks the file failed.
class RecordingFile {
public:
    static constexpr uint32_t kBlockBytes = 4608;

    explicit RecordingFile(DiagnosticLog& log);
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // The run's output format and directory ("" = the current one); zeroes the counters.
    // makeEncoder (an MP3 Record run) replaces the previous run's encoder with a fresh one.
    void BeginRun(bool mp3, const std::string& directory, bool makeEncoder);
    // The first free name for this time stamp in the run's directory.
    std::string MakeRecordingName(const char* timeStamp) const;
    bool OpenRecordingFile(const char* timeStamp);
    void WriteRecordingBlock(const uint8_t* p, uint32_t n, bool flush);
    // A group ended: make what is in the file durable and readable (sizes, flush).
    void CommitGroup();
    // Finishes and closes the file (if any), logs its length, zeroes the counters.
    void CloseRecordingFile();

    // Capture blocks the open WAV file can still take (unlimited for MP3 or a failed file).
    uint32_t BlocksBeforeLimit() const;
    void SetWavDataLimit(uint32_t bytes) { wav_.SetMaxDataBytes(bytes); }

    bool IsOpen() const { return open_; }
    bool Failed() const { return failed_; }  // a write failed since the file was opened
    // The run's first file that could not be made or written, as "path: reason"; empty if none.
    const std::string& FirstFailure() const { return firstFailure_; }
    bool Mp3() const { return mp3_; }
    const std::string& Path() const { return path_; }
    const RecordingCounters& Counters() const { return counters_; }
    void ClearCountersChanged() { counters_.countersChanged = false; }

private:
    uint32_t WriteMp3(const uint8_t* p, uint32_t n, bool flush);
    uint32_t WriteWav(const uint8_t* p, uint32_t n);
    void ReportWriteFailure();
    void NoteFailure(const std::string& path, int error);
    void CountWrite(uint32_t fileBytes, uint32_t pcmBytes);

    DiagnosticLog& log_;
    bool mp3_ = false;
    std::string directory_;
    std::string path_;
    bool open_ = false;
    bool failed_ = false;
    std::string firstFailure_;
    WavFileWriter wav_;
    std::FILE* mp3Stream_ = nullptr;
    std::unique_ptr<Mp3Encoder> encoder_;  // the run's encoder handle (one channel)
    bool encoderEnabled_ = false;
    RecordingCounters counters_;
};

}  // namespace sonotrap
