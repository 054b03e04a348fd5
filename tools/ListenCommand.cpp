#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "app/Settings.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSettings.h"
#include "capture/SpectrumBlockAnalysis.h"
#include "display/BlockLevel.h"
#include "log/DiagnosticLog.h"
#include "tools/Commands.h"
#include "tools/EventCsv.h"
#if SONOTRAP_HAVE_PORTAUDIO
#include "adapters/portaudio/PortAudioCaptureBuffer.h"
#include "adapters/portaudio/PortAudioDevices.h"
#endif

// sonotrap-tool listen: a Record run on a live sound input, with no window.
namespace sonotrap::tool {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPoll = 100ms;
constexpr auto kStatusEvery = 250ms;
// A live input delivers a block every 72 ms; this long without one means it is gone.
constexpr auto kStall = 3s;
constexpr int kBlockMs = 72;
constexpr int32_t kMaxFrequency = 999999;  // the dialog's six-digit fields

std::atomic<int> stopSignal{0};
extern "C" void OnStopSignal(int signal) { stopSignal.store(signal); }

struct ListenArguments {
    std::string device;
    bool listDevices = false;
    std::string out = ".";
    std::string format = "mp3";
    int threshold = static_cast<int>(Settings::kDefaultThreshold);
    int32_t minFreq = Settings::kDefaultMinFrequency;
    int32_t maxFreq = Settings::kDefaultMaxFrequency;
    std::string sizeLimit = "on";
    std::string peakLog = "on";
    double duration = 0.0;  // 0: until a signal
    std::string events;
};

// The newest analysed block, for the status line; written by the processing thread.
class StatusView : public CaptureView {
public:
    void ShowBlock(bool, const int16_t* block, float peakHz, float peakDb) override {
        level.store(BlockLevelDb(FindSampleExtremes(block)));
        this->peakHz.store(peakHz);
        this->peakDb.store(peakDb);
    }
    void ShowRecordingBanner(bool on) override { recording.store(on); }
    // A new file starts from zero: a size below the last one is the next file.
    void UpdateTimeAndSize(int32_t, int32_t kilobytes) override {
        if (kilobytes < lastKilobytes_) files.fetch_add(1);
        lastKilobytes_ = kilobytes;
    }

    std::atomic<unsigned> files{0};
    std::atomic<double> level{0.0};
    std::atomic<float> peakHz{0.0f};
    std::atomic<float> peakDb{0.0f};
    std::atomic<bool> recording{false};

private:
    int32_t lastKilobytes_ = INT32_MAX;
};

// stdout: one line per group; on a terminal also a status line redrawn in place under them.
class Console {
public:
    explicit Console(bool terminal) : terminal_(terminal) {}

    void Group(const GroupReport& g, std::chrono::system_clock::time_point start) {
        std::lock_guard<std::mutex> lock(lock_);
        ClearStatus();
        std::printf("%s  %s  %.3f s  %.1f Hz  %.1f dB%s\n", IsoLocalTime(start).c_str(), g.file.c_str(),
                    g.blocks * kBlockMs / 1000.0, g.peakHz, g.peakDb, g.finished ? "" : "  (cut short by the stop)");
        std::fflush(stdout);
    }

    void Status(const StatusView& view, Clock::duration running) {
        if (!terminal_) return;
        std::lock_guard<std::mutex> lock(lock_);
        const auto s = std::chrono::duration_cast<std::chrono::seconds>(running).count();
        std::printf("\r\033[Klevel %4.1f dB  peak %7.1f Hz %6.1f dB  files %u  %02lld:%02lld:%02lld%s",
                    view.level.load(), view.peakHz.load(), view.peakDb.load(), view.files.load(),
                    static_cast<long long>(s / 3600), static_cast<long long>(s / 60 % 60),
                    static_cast<long long>(s % 60), view.recording.load() ? "  REC" : "");
        std::fflush(stdout);
        statusShown_ = true;
    }

    void Finish() {
        std::lock_guard<std::mutex> lock(lock_);
        ClearStatus();
    }

private:
    void ClearStatus() {
        if (statusShown_) std::printf("\r\033[K");
        statusShown_ = false;
    }

    std::mutex lock_;
    bool terminal_;
    bool statusShown_ = false;
};

enum class RunEnd { Stopped, DeviceLost };

// Waits for a stop signal, the duration or a device that no longer delivers, showing the status.
RunEnd Watch(const CaptureDevice& capture, const StatusView& view, Console& console, double duration) {
    const auto begin = Clock::now();
    auto lastChange = begin;
    auto lastStatus = begin - kStatusEvery;
    uint32_t lastBlocks = capture.BlocksCaptured();
    for (;;) {
        const auto now = Clock::now();
        if (stopSignal.load() != 0) return RunEnd::Stopped;
        if (duration > 0 && now - begin >= std::chrono::duration<double>(duration)) return RunEnd::Stopped;
        const uint32_t blocks = capture.BlocksCaptured();
        if (blocks != lastBlocks) {
            lastBlocks = blocks;
            lastChange = now;
        }
        if (!capture.IsCaptureHealthy() || now - lastChange > kStall) return RunEnd::DeviceLost;
        if (now - lastStatus >= kStatusEvery) {
            console.Status(view, now - begin);
            lastStatus = now;
        }
        std::this_thread::sleep_for(kPoll);
    }
}

// The first SIGINT or SIGTERM asks for a clean stop; a second one ends the process at once.
// A reader of stdout that goes away must not end the run before its file is finished.
void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// The settings as the dialogs would leave them; each logs its line as the program's do.
void ApplySettings(const ListenArguments& a, Settings& settings, CaptureSettings& active) {
    settings.SetOutputMp3(a.format == "mp3");
    settings.SetPeakLogging(a.peakLog == "on");
    settings.SetSizeUnlimited(a.sizeLimit == "off");
    settings.SetTriggerBand(a.minFreq, a.maxFreq);
    settings.SetThreshold(static_cast<uint32_t>(a.threshold));
    settings.ApplyThreshold();
    active.SetRecordingDirectory(a.out);
}

// The run itself; false with the reason in failure when the input could not start or was lost.
bool Listen(const ListenArguments& a, const CaptureInputOpener& openInput, EventCsv* events, std::string* failure) {
    DiagnosticLog log;
    log.LogOpen(a.out);
    CaptureSettings active;
    Settings settings(log, active);
    ApplySettings(a, settings, active);
    SpectrumBlockAnalysis analysis;
    StatusView view;
    Console console(isatty(STDOUT_FILENO) == 1);

    CaptureServices services;
    services.log = &log;
    services.settings = &active;
    services.analysis = &analysis;
    services.view = &view;
    services.openInput = openInput;
    // A group is reported while its last block is processed, so it began about its length ago.
    services.groupReport = [&](const GroupReport& g) {
        const auto start = std::chrono::system_clock::now() - std::chrono::milliseconds(g.blocks * kBlockMs);
        console.Group(g, start);
        if (events) events->Write(MakeEventRow(g, start));
    };
    CaptureDevice capture(services);
    InstallStopSignals();
    if (!capture.InitCapture() || !capture.StartCapture(false)) {
        *failure = "the sound input could not be opened or started";
        return false;
    }
    const RunEnd end = Watch(capture, view, console, a.duration);
    if (end == RunEnd::DeviceLost) log.LogLine("Capture stopped: the sound input delivers nothing.");
    capture.StopCapture();
    capture.CloseRecordingFile();
    capture.ReleaseCapture();
    console.Finish();
    log.LogClose();
    if (end == RunEnd::DeviceLost) {
        *failure = "the sound input stopped delivering audio (device lost?); recordings finished";
        return false;
    }
    return true;
}

// Checks that create nothing; false with the reason in error.
bool CheckPaths(const ListenArguments& a, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(a.out, ec) && !fs::is_directory(a.out, ec)) {
        *error = "--out '" + a.out + "' is not a directory";
        return false;
    }
    if (a.events.empty()) return true;
    const fs::path events(a.events);
    const fs::path parent = events.parent_path().empty() ? fs::path(".") : events.parent_path();
    if (fs::is_directory(events, ec) || !fs::is_directory(parent, ec)) {
        *error = "--events '" + a.events + "' cannot be a file there";
        return false;
    }
    return true;
}

#if SONOTRAP_HAVE_PORTAUDIO
int ListDevices() {
    const auto inputs = ListPortAudioInputs();
    if (inputs.empty()) {
        std::fprintf(stderr, "sonotrap-tool listen: no sound input device found\n");
        return 1;
    }
    std::printf("%5s  %-40s  %-10s  %s\n", "index", "name", "host API", "default rate");
    for (const PortAudioInput& in : inputs) {
        std::printf("%5d  %-40s  %-10s  %.0f Hz%s\n", in.index, in.name.c_str(), in.hostApi.c_str(), in.defaultRate,
                    in.isDefault ? "  (default)" : "");
    }
    return 0;
}
#endif

int RunListen(const ListenArguments& a) {
#if SONOTRAP_HAVE_PORTAUDIO
    if (a.listDevices) return ListDevices();
    std::string error;
    if (a.minFreq >= a.maxFreq) error = "--min-freq must be below --max-freq";
    if (error.empty()) CheckPaths(a, &error);
    const int device = error.empty() && !a.device.empty() ? FindPortAudioInput(a.device, &error) : -1;
    if (!error.empty()) {
        std::fprintf(stderr, "sonotrap-tool listen: %s\n", error.c_str());
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(a.out, ec);
    EventCsv events;
    if (!a.events.empty() && !events.Open(a.events, false, &error)) {
        std::fprintf(stderr, "sonotrap-tool listen: %s\n", error.c_str());
        return 1;
    }
    bool ok = false;
    {
        // PortAudio prints its internal checks straight to stderr when a device goes away (it
        // has no hook for them), and listen promises one line. The run's threads start after
        // this and are joined before it ends, so nothing of ours is written meanwhile.
        QuietStderr quiet;
        ok = Listen(a, [device] { return OpenPortAudioCaptureInput(device); }, a.events.empty() ? nullptr : &events,
                    &error);
    }
    if (ok) return 0;
    std::fprintf(stderr, "sonotrap-tool listen: %s\n", error.c_str());
    return 1;
#else
    (void)a;
    std::fprintf(stderr, "sonotrap-tool listen: built without PortAudio, so there is no sound input\n");
    return 1;
#endif
}

}  // namespace

void AddListenCommand(CLI::App& app, int& exitStatus) {
    auto args = std::make_shared<ListenArguments>();
    auto* cmd = app.add_subcommand("listen", "Record run on a live sound input: writes the triggered groups and "
                                             "Sonotrap.Log until SIGINT/SIGTERM or --duration");
    cmd->add_option("--device", args->device, "Input by PortAudio index or part of its name (default: the default input)");
    cmd->add_flag("--list-devices", args->listDevices, "Print the inputs (index, name, host API, default rate) and exit");
    cmd->add_option("--out", args->out, "Directory for recordings and Sonotrap.Log (default: current)");
    cmd->add_option("--format", args->format, "Recording format (default mp3)")->check(CLI::IsMember({"mp3", "wav"}));
    cmd->add_option("--threshold", args->threshold, "Trigger at a band peak of at least -N dB, 3..90 (default 60)")
        ->check(CLI::Range(static_cast<int>(Settings::kSliderThresholdMin),
                           static_cast<int>(Settings::kSliderThresholdMax)));
    cmd->add_option("--min-freq", args->minFreq, "Lowest trigger frequency, Hz, inclusive (default 16)")
        ->check(CLI::Range(0, kMaxFrequency));
    cmd->add_option("--max-freq", args->maxFreq, "Highest trigger frequency, Hz, exclusive (default 16000)")
        ->check(CLI::Range(0, kMaxFrequency));
    cmd->add_option("--size-limit", args->sizeLimit, "Close a file at a group's end once >= 5 MiB (default on)")
        ->check(CLI::IsMember({"on", "off"}));
    cmd->add_option("--peak-log", args->peakLog, "Peak records in Sonotrap.Log (default on)")
        ->check(CLI::IsMember({"on", "off"}));
    cmd->add_option("--duration", args->duration, "Stop after this many seconds (default: run until stopped)")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--events", args->events, "Append one CSV row per group to this file");
    cmd->callback([args, &exitStatus] { exitStatus = RunListen(*args); });
}

}  // namespace sonotrap::tool
