#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/CaptureWindow.h"
#include "capture/RecordingFile.h"

namespace sonotrap {

class BlockAnalysis;
class CaptureView;
class DiagnosticLog;
struct CaptureSettings;

// Totals of the runs since the recorder was made, for summaries (scan) and tests.
struct RecorderTotals {
    uint32_t triggeringBlocks = 0;
    uint32_t groups = 0;             // groups that ended
    uint64_t blocksKept = 0;         // capture blocks handed to files
    std::vector<std::string> files;  // every file opened, in order
};

// One contiguous samples group as it went into a recording file, reported when the group ends
// (finished) or when its file is closed in the middle of it (the run stopped).
struct GroupReport {
    std::string file;
    std::string firstTimeStamp;  // MMDDhhmmss of the group's first block
    uint64_t firstBlock = 0;     // blocks captured in the run before the group's first block
    uint32_t offsetBlocks = 0;   // blocks already in the file when the group began
    uint32_t blocks = 0;         // blocks of the group in the file
    uint32_t triggeringBlocks = 0;
    double peakHz = 0.0;         // the loudest triggering block
    double peakDb = 0.0;
    bool finished = true;        // false: cut short by the file's close
};
using GroupReportFn = std::function<void(const GroupReport&)>;

// Trigger detection and recording runs. For each capture window ProcessCaptureBlock analyses
// the band peak, shows the block, and in a Record run decides whether the block triggers: a
// triggering block is written with its pre-roll (up to 7 blocks, itself included) and opens or
// extends a group; the group ends after 7 further non-triggering blocks (the hold). Groups go
// back to back into one recording file until the size limit closes it at a group's end.
//
// Runs on the processing thread; BeginRun, CloseRecordingFile and Release run on the window's
// thread while the processing thread is stopped.
class Recorder {
public:
    static constexpr uint32_t kPreRollBlocks = 7;
    static constexpr uint32_t kHoldBlocks = 7;
    static constexpr uint32_t kFileSizeLimit = 5242880;

    Recorder(DiagnosticLog& log, CaptureSettings& settings, BlockAnalysis* analysis, CaptureView* view,
             std::atomic<uint32_t>& blocksCaptured);

    // StartCapture's part: fixes the run's output format and directory, zeroes the run state and,
    // for an MP3 Record run, makes a fresh encoder.
    void BeginRun(bool monitorOnly);
    // Called on the thread that ends each group (processing, or the one closing the file).
    void SetGroupReport(GroupReportFn report) { groupReport_ = std::move(report); }
    void ProcessCaptureBlock(const CaptureWindow& window);
    void OnTrigger(const CaptureWindow& window, double peakHz, double peakDb);
    // Finishes the open file (if any), zeroes the per-file counters, the hold count, the
    // blocks-written mark and blocks captured.
    void CloseRecordingFile();
    // ReleaseCapture's part: closes the file and zeroes the run's counters.
    void Release();

    // The readout after a write: true once per change, with the recording's time and size.
    bool TakeCountersChanged(int32_t* seconds, int32_t* kilobytes);

    bool MonitorOnly() const { return monitorOnly_; }
    uint32_t HoldCount() const { return holdCount_; }
    uint32_t BlocksWrittenMark() const { return blocksWrittenMark_; }
    uint32_t FilesOpened() const { return filesOpened_; }
    const RecordingFile& File() const { return file_; }
    const RecorderTotals& Totals() const { return totals_; }

private:
    void EndGroup();
    void StartGroupReport(const CaptureWindow& window, uint32_t preRoll, const char* stamp);
    void ReportGroup(bool finished);
    void WriteBlocks(const CaptureWindow& window, uint32_t blocks);

    DiagnosticLog& log_;
    CaptureSettings& settings_;
    BlockAnalysis* analysis_;
    CaptureView* view_;
    std::atomic<uint32_t>& blocksCaptured_;
    RecordingFile file_;

    bool monitorOnly_ = true;
    uint32_t holdCount_ = 0;
    uint32_t blocksWrittenMark_ = 0;
    uint32_t filesOpened_ = 0;
    RecorderTotals totals_;

    GroupReportFn groupReport_;
    GroupReport group_;           // the group being written, when groupOpen_
    bool groupOpen_ = false;
    uint64_t runBlockBase_ = 0;   // blocks captured before the last zeroing of the count
};

}  // namespace sonotrap
