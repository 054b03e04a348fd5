#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "app/PlaybackClock.h"
#include "app/PlaybackOutput.h"
#include "platform/AutoResetEvent.h"
#include "platform/MappedFile.h"
#include "platform/Thread.h"

namespace sonotrap {

class DiagnosticLog;
class MainWindow;
class MusicFileReader;

// What the event service thread shows of each block: the calls into the spectrum display.
// LoadedMusic works without one (null), which leaves analysis and drawing out.
class MusicBlockDisplay {
public:
    virtual ~MusicBlockDisplay() = default;
    virtual void UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) = 0;
    // Analyses the 16384-sample window; *peakHz and *peakDb carry the band edges in (both 0
    // here) and the band's peak frequency and level out.
    virtual void AnalyzeBlock(const int16_t* window, float* peakHz, float* peakDb) = 0;
    // True when the display is ready and has its graph.
    virtual bool IsReady() = 0;
    virtual void UpdateMetersAndReadouts(bool showVuText, double level, float peakHz, float peakDb) = 0;
    virtual void DrawGraph() = 0;
};

// One loaded music file: its mapped bytes, the reader over them, the sample pipeline that
// feeds the playback output and the display, and the event service thread that advances the
// pipeline by two music blocks per played output block.
//
// The pipeline is 37376 bytes: 256 zero bytes, slots 0 to 13 (2304 bytes each), 256 zero bytes,
// then slots 14 and 15, the newest two blocks, which are the playback output's source. The
// first 32768 bytes are the analysis window. All operations except the thread's own run on
// the owner's (main) thread; the destructor stops the thread and frees everything.
class LoadedMusic {
public:
    static constexpr uint32_t kSampleBufferBytes = 37376;
    static constexpr int kSlotCount = 16;
    static constexpr uint32_t kMusicBlockSamples = 1152;
    static constexpr uint32_t kMusicBlockBytes = kMusicBlockSamples * 2;  // 2304
    static constexpr uint32_t kWindowSamples = 16384;
    static constexpr uint32_t kSourceOffset = 32768;                      // slot 14
    static constexpr uint32_t kOutputRate = 32000;
    static constexpr uint32_t kTickGapMs = 35;
    static constexpr uint32_t kSilentBlocks = 9;  // blocks after a load that only fill the pipeline

    // window shows the message boxes (may be null in tests); display may be null; sharedDecoder
    // is handed to the reader untouched. All must outlive the object.
    LoadedMusic(MainWindow* window, DiagnosticLog& log, MusicBlockDisplay* display,
                void* sharedDecoder = nullptr, PlaybackClock& clock = SystemPlaybackClock());
    ~LoadedMusic();  // ReleaseLoadedMusic
    LoadedMusic(const LoadedMusic&) = delete;
    LoadedMusic& operator=(const LoadedMusic&) = delete;

    // Maps the file read-only; false (nothing shown) when it cannot be mapped or is empty.
    bool MapMusicFile(const std::string& path);
    // Opens the reader on the mapped bytes, builds the pipeline and starts the event service
    // thread. Returns the wake event, or null after showing "Sorry - I can't read that file
    // format, Bram." when the reader refuses the file.
    AutoResetEvent* OpenMusic();
    // The hand-over to the playback output: slots 14 and 15, their lock and the wake event.
    // bytes is null until OpenMusic succeeded.
    PlaybackSource Source();
    // Ends the event service thread (joined before return; within one tick).
    void StopEventService();
    // Stops the thread, frees the reader and the pipeline and unmaps the file.
    void ReleaseLoadedMusic();

    // One tick of the event service thread: two blocks analysed, shown and advanced, 35 ms
    // apart. False (logged) when a tick is already running. Public so tests can drive the
    // pipeline without waking the thread.
    bool RunTick();

    const std::string& Path() const { return path_; }
    bool StopRequested() const { return stop_.load(); }
    uint32_t BlocksAnalysed() const { return blocksAnalysed_.load(); }
    uint32_t ElapsedSamples() const { return elapsedSamples_.load(); }
    // Ticks finished since the thread started; once it has reached a count, the pipeline holds
    // that tick's result.
    uint32_t TicksCompleted() const { return ticksCompleted_.load(); }
    // The pipeline (null before OpenMusic). Read it only while no tick runs.
    const uint8_t* SampleBuffer() const { return reinterpret_cast<const uint8_t*>(samples_.get()); }
    static uint32_t SlotOffset(int slot);

private:
    void EventServiceThreadProc();
    void AnalyseAndShowBlock();
    void AdvancePipeline();
    int16_t* Slot(int slot) { return samples_.get() + SlotOffset(slot) / 2; }

    MainWindow* window_;
    DiagnosticLog& log_;
    MusicBlockDisplay* display_;
    void* sharedDecoder_;
    PlaybackClock& clock_;

    MappedFile mappedFile_;
    std::string path_;
    std::unique_ptr<MusicFileReader> reader_;
    std::unique_ptr<int16_t[]> samples_;  // the pipeline's 37376 bytes
    std::mutex sourceLock_;  // slots 14 and 15 against the playback thread's copy
    std::atomic<uint32_t> blocksAnalysed_{0};
    std::atomic<uint32_t> elapsedSamples_{0};
    std::atomic<uint32_t> ticksCompleted_{0};
    std::atomic<int32_t> busy_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> sourceSet_{false};
    AutoResetEvent serviceEnded_;  // set by the event service thread as it leaves
    AutoResetEvent wakeEvent_;
    Thread thread_;
    bool threadStarted_ = false;
};

}  // namespace sonotrap
