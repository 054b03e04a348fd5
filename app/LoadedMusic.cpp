#include "app/LoadedMusic.h"

#include <cstring>

#include "log/DiagnosticLog.h"
#include "display/BlockLevel.h"
#include "media/MusicFileReader.h"
#include "platform/MainWindow.h"

namespace sonotrap {

namespace {
constexpr uint32_t kEdgeBytes = 256;  // zero samples before slot 0 and after slot 13
constexpr int kLevelSlot = 6;         // the block level is taken over slots 6 and 7
constexpr uint32_t kStopWaitMs = 30;
}  // namespace

LoadedMusic::LoadedMusic(MainWindow* window, DiagnosticLog& log, MusicBlockDisplay* display, void* sharedDecoder,
                         PlaybackClock& clock)
    : window_(window), log_(log), display_(display), sharedDecoder_(sharedDecoder), clock_(clock) {}

LoadedMusic::~LoadedMusic() { ReleaseLoadedMusic(); }

uint32_t LoadedMusic::SlotOffset(int slot) {
    if (slot == 14) return kSourceOffset;
    if (slot == 15) return kSourceOffset + kMusicBlockBytes;
    return kEdgeBytes + static_cast<uint32_t>(slot) * kMusicBlockBytes;
}

bool LoadedMusic::MapMusicFile(const std::string& path) {
    if (!mappedFile_.Open(path) || mappedFile_.Size() == 0) {
        mappedFile_.Close();
        return false;
    }
    path_ = path;
    return true;
}

AutoResetEvent* LoadedMusic::OpenMusic() {
    // A second open must not swap the reader under a running thread.
    StopEventService();
    sourceSet_ = false;
    reader_ = MusicFileReader::Create(mappedFile_.Data(), mappedFile_.Size(), kOutputRate, sharedDecoder_);
    if (!IsReady(reader_.get()) || reader_->GetOutputSampleCount() == 0) {
        if (window_)
            window_->ShowMessageBox("Sorry - I can't read that file format, Bram.", "File IO Error ",
                                    MessageIcon::Exclamation);
        return nullptr;
    }
    elapsedSamples_ = 0;
    samples_ = std::make_unique<int16_t[]>(kSampleBufferBytes / 2);  // zeroed
    stop_ = false;
    busy_ = 0;
    blocksAnalysed_ = 0;
    ticksCompleted_ = 0;
    wakeEvent_.Reset();
    serviceEnded_.Reset();
    threadStarted_ = thread_.Start([this] { EventServiceThreadProc(); }, ThreadPriority::AboveNormal);
    if (!threadStarted_ && window_) {
        window_->ShowMessageBox("Failed creating EventServiceThreadProc - exiting!!", "Initialization error - ",
                                MessageIcon::Exclamation);
    }
    sourceSet_ = true;
    return &wakeEvent_;
}

PlaybackSource LoadedMusic::Source() {
    if (!sourceSet_ || !samples_) return PlaybackSource{};
    return PlaybackSource{SampleBuffer() + kSourceOffset, &sourceLock_, &wakeEvent_};
}

void LoadedMusic::EventServiceThreadProc() {
    while (!stop_) {
        wakeEvent_.Wait();
        if (stop_) break;
        RunTick();
    }
    serviceEnded_.Set();
}

bool LoadedMusic::RunTick() {
    if (busy_.exchange(1) != 0) {
        log_.LogLine("EventServiceThreadProc: SpinLock was busy!");
        return false;
    }
    const uint32_t deadline = clock_.Now() + kTickGapMs;
    AnalyseAndShowBlock();
    if (!stop_) AdvancePipeline();
    bool stopped = stop_;
    while (!stopped && static_cast<int32_t>(clock_.Now() - deadline) <= 0) {
        clock_.Sleep(1);
        stopped = stop_;
    }
    if (!stopped) {
        AnalyseAndShowBlock();
        if (!stop_) AdvancePipeline();
    }
    ticksCompleted_.fetch_add(1);
    busy_.exchange(0);
    return true;
}

void LoadedMusic::AnalyseAndShowBlock() {
    const uint32_t analysed = blocksAnalysed_.fetch_add(1) + 1;
    const uint32_t elapsed = elapsedSamples_.fetch_add(kMusicBlockSamples) + kMusicBlockSamples;
    // The first nine blocks after a load only fill the pipeline.
    if (analysed <= kSilentBlocks || !display_) return;
    display_->UpdateTimeAndSize(static_cast<int32_t>(elapsed / kOutputRate), 0);
    float peakHz = 0.0f;  // the band is 0 Hz to 0 Hz here
    float peakDb = 0.0f;
    display_->AnalyzeBlock(samples_.get(), &peakHz, &peakDb);
    const double level = BlockLevelDb(FindSampleExtremes(Slot(kLevelSlot), 2 * kMusicBlockSamples));
    if (display_->IsReady()) display_->UpdateMetersAndReadouts(true, level, peakHz, peakDb);
    display_->DrawGraph();
}

// Slots move down by one; the reader's next block enters slot 15. At the end of the file the
// reader starts again, so playback loops.
void LoadedMusic::AdvancePipeline() {
    std::memmove(Slot(0), Slot(1), 13 * kMusicBlockBytes);  // slots 1..13 are contiguous
    std::memcpy(Slot(13), Slot(14), kMusicBlockBytes);
    int16_t next[kMusicBlockSamples];
    if (reader_->ReadBlock(next) == 0) {
        elapsedSamples_ = 0;
        reader_->Rewind();
        // A reader with nothing to give even from the start yields silence, not stale memory.
        if (reader_->ReadBlock(next) == 0) std::memset(next, 0, sizeof next);
    }
    std::lock_guard<std::mutex> lock(sourceLock_);
    std::memcpy(Slot(14), Slot(15), kMusicBlockBytes);
    std::memcpy(Slot(15), next, kMusicBlockBytes);
}

// The thread leaves within one tick. Window messages are not dispatched while waiting: a click
// handled here would re-enter mode control halfway through the release that called this.
void LoadedMusic::StopEventService() {
    if (!threadStarted_) return;
    stop_ = true;
    for (int i = 0; i < 5; ++i) clock_.Sleep(2);
    for (;;) {
        wakeEvent_.Set();
        for (int i = 0; i < 5; ++i) clock_.Sleep(2);
        if (serviceEnded_.Wait(kStopWaitMs)) break;
        log_.LogLine("WAIT_TIMEOUT");
    }
    thread_.Join();
    threadStarted_ = false;
    wakeEvent_.Reset();
}

void LoadedMusic::ReleaseLoadedMusic() {
    StopEventService();
    sourceSet_ = false;
    reader_.reset();
    samples_.reset();
    mappedFile_.Close();
    path_.clear();
}

}  // namespace sonotrap
