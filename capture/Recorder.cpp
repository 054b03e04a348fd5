#include "capture/Recorder.h"

#include <algorithm>

#include "log/DiagnosticLog.h"
#include "capture/CaptureSettings.h"
#include "capture/CaptureView.h"
#include "capture/PeakLog.h"
#include "display/LevelScale.h"

namespace sonotrap {

namespace {
constexpr uint32_t kBlockBytes = RecordingFile::kBlockBytes;
}  // namespace

Recorder::Recorder(DiagnosticLog& log, CaptureSettings& settings, BlockAnalysis* analysis, CaptureView* view,
                   std::atomic<uint32_t>& blocksCaptured)
    : log_(log), settings_(settings), analysis_(analysis), view_(view), blocksCaptured_(blocksCaptured), file_(log) {}

void Recorder::BeginRun(bool monitorOnly) {
    // A file left open by an earlier run is finished before its encoder can go away.
    if (file_.IsOpen()) CloseRecordingFile();
    monitorOnly_ = monitorOnly;
    const bool mp3 = settings_.outputMp3.load();
    file_.BeginRun(mp3, settings_.RecordingDirectory(), /*makeEncoder=*/mp3 && !monitorOnly);
    filesOpened_ = 0;
    blocksWrittenMark_ = 0;
    holdCount_ = 0;
    blocksCaptured_.store(0);
    groupOpen_ = false;
    runBlockBase_ = 0;
}

void Recorder::ProcessCaptureBlock(const CaptureWindow& window) {
    float peakHz = static_cast<float>(settings_.minTriggerHz.load());
    float peakDb = static_cast<float>(settings_.maxTriggerHz.load());
    if (analysis_) {
        analysis_->AnalyzeBlock(window.samples.data(), &peakHz, &peakDb);
    } else {
        peakDb = kFloorDb;  // nothing analysed reads as silence
    }
    if (view_) {
        const int16_t* current = window.samples.data() + CaptureWindow::kCurrentBlockOffset / 2;
        view_->ShowBlock(monitorOnly_, current, peakHz, peakDb);
    }
    if (monitorOnly_) return;

    const bool triggers = settings_.threshold.load() >= -static_cast<double>(peakDb) &&
                          peakHz >= static_cast<float>(settings_.minTriggerHz.load()) &&
                          static_cast<float>(settings_.maxTriggerHz.load()) > peakHz;
    if (triggers) {
        ++totals_.triggeringBlocks;
        if (view_) view_->ShowRecordingBanner(true);
        OnTrigger(window, peakHz, peakDb);
        return;
    }
    if (holdCount_ == 0) return;
    if (file_.IsOpen()) WriteBlocks(window, 1);
    blocksWrittenMark_ = window.blocksCaptured;
    if (--holdCount_ == 0) EndGroup();
}

void Recorder::OnTrigger(const CaptureWindow& window, double peakHz, double peakDb) {
    // Pre-roll: the blocks since the last one written, at most 7 with this one; inside a group
    // the earlier blocks are already in the file.
    const uint32_t sinceMark = window.blocksCaptured >= blocksWrittenMark_ ? window.blocksCaptured - blocksWrittenMark_
                                                                           : kPreRollBlocks;
    const uint32_t n = holdCount_ > 0 ? 1 : std::min(sinceMark, kPreRollBlocks);
    holdCount_ = n;
    const int slot = ((window.ringIndex - static_cast<int>(n) + 1) % kTimeStampSlots + kTimeStampSlots) % kTimeStampSlots;
    const char* stamp = window.TimeStamp(slot);

    if (!file_.IsOpen()) {
        if (!file_.OpenRecordingFile(stamp)) return;
        log_.LogLine(file_.Path());
        log_.LogLine("");
        ++filesOpened_;
        totals_.files.push_back(file_.Path());
    }
    if (!groupOpen_) StartGroupReport(window, n, stamp);
    ++group_.triggeringBlocks;
    if (group_.triggeringBlocks == 1 || peakDb > group_.peakDb) {
        group_.peakHz = peakHz;
        group_.peakDb = peakDb;
    }
    if (settings_.peakLogging.load()) {
        WritePeakLogRecord(log_, stamp, file_.Counters().blocksWritten, peakHz, peakDb);
    }
    WriteBlocks(window, n);
    blocksWrittenMark_ = window.blocksCaptured;
    holdCount_ = kHoldBlocks;
}

void Recorder::WriteBlocks(const CaptureWindow& window, uint32_t blocks) {
    if (blocks == 0) return;
    const uint32_t bytes = blocks * kBlockBytes;
    const uint32_t before = file_.Counters().blocksWritten;
    file_.WriteRecordingBlock(window.Bytes() + CaptureWindow::kCurrentBlockEnd - bytes, bytes, false);
    const uint32_t written = file_.Counters().blocksWritten - before;
    totals_.blocksKept += written;
    if (groupOpen_) group_.blocks += written;
}

void Recorder::StartGroupReport(const CaptureWindow& window, uint32_t preRoll, const char* stamp) {
    group_ = GroupReport{};
    group_.file = file_.Path();
    group_.firstTimeStamp = stamp;
    group_.firstBlock = runBlockBase_ + window.blocksCaptured - std::min(preRoll, window.blocksCaptured);
    group_.offsetBlocks = file_.Counters().blocksWritten;
    groupOpen_ = true;
}

void Recorder::ReportGroup(bool finished) {
    if (!groupOpen_) return;
    groupOpen_ = false;
    group_.finished = finished;
    if (groupReport_ && group_.blocks > 0) groupReport_(group_);
}

void Recorder::EndGroup() {
    if (view_) view_->ShowRecordingBanner(false);
    if (settings_.peakLogging.load()) log_.LogLine("End contiguous samples group.");
    ++totals_.groups;
    file_.CommitGroup();
    ReportGroup(true);
    // A file that failed to write is closed too, so the next trigger starts a new one.
    const bool full = settings_.sizeLimit.load() && file_.Counters().fileBytes >= kFileSizeLimit;
    if (file_.IsOpen() && (full || file_.Failed())) CloseRecordingFile();
}

void Recorder::CloseRecordingFile() {
    ReportGroup(false);  // a group cut short by the close, as it stands in the file
    file_.CloseRecordingFile();
    holdCount_ = 0;
    blocksWrittenMark_ = 0;
    // Closing zeroes the count; what it had reached still counts towards the run's block index.
    runBlockBase_ += blocksCaptured_.exchange(0);
}

void Recorder::Release() {
    CloseRecordingFile();
    filesOpened_ = 0;
}

bool Recorder::TakeCountersChanged(int32_t* seconds, int32_t* kilobytes) {
    const RecordingCounters& c = file_.Counters();
    if (!c.countersChanged) return false;
    *seconds = static_cast<int32_t>(c.elapsedSeconds);
    *kilobytes = static_cast<int32_t>(c.kilobytes);
    file_.ClearCountersChanged();
    return true;
}

}  // namespace sonotrap
