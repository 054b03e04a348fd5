#include <QGuiApplication>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "log/DiagnosticLog.h"
#include "app/LoadedMusic.h"
#include "app/PlaybackClock.h"
#include "app/ShellDisplay.h"
#include "capture/CaptureSettings.h"
#include "capture/CaptureWindow.h"
#include "capture/DisplayCaptureView.h"
#include "capture/Recorder.h"
#include "display/BlockLevel.h"  // kCaptureBlockSamples
#include "display/SpectrumDisplay.h"
#include "display/StaticScreen.h"
#include "adapters/qt/QtBackScreen.h"
#include "tools/Commands.h"
#include "tools/ToolInput.h"

// sonotrap-tool render: the program's screen after it has shown a file, written as a PNG.
namespace sonotrap::tool {

namespace {

enum class Mode { Monitor = 0, Record = 1, Playback = 2 };

struct RenderOptions {
    std::string file;
    std::string output;
    Mode mode = Mode::Monitor;
    long long block = -1;  // -1: the last block
};

constexpr size_t kBlock = kCaptureBlockSamples;
constexpr uint32_t kFirstProcessedCapture = 7;   // the capture side analyses from its 7th block on

// The program's screen as start-up leaves it, then the mode chosen with a click and Start
// pressed: the state in which blocks are shown.
struct RenderScreen {
    QtBackScreen screen;
    std::atomic<int32_t> modeIndex{0};
    std::unique_ptr<ModeStrip> strip;
    std::unique_ptr<SpectrumDisplay> display;

    bool Build(Mode mode) {
        if (!screen.Create()) return false;
        DrawStaticScreen(screen, modeIndex);
        strip = std::make_unique<ModeStrip>(screen);
        display = std::make_unique<SpectrumDisplay>(screen, strip.get());
        display->CreateSpectrumDisplay();
        FrequencyGraph& graph = *display->Graph();
        SelectCaptureSide(graph, true);  // start-up selects the capture side
        graph.SetThresholdMarker(60.0);  // the default threshold
        strip->SelectModeButton(modeIndex, static_cast<int32_t>(mode));
        SelectCaptureSide(graph, mode != Mode::Playback);
        strip->DisableModeStrip(modeIndex);
        strip->ShowStopButton();
        return true;
    }
    // What choosing the capture or the playback side does to the display.
    static void SelectCaptureSide(FrequencyGraph& graph, bool capture) {
        graph.ResetGraph();
        graph.SetMarkerFall(capture ? 2 : 1);
        graph.ShowThresholdMarker(capture);
    }
};

// A fresh directory of our own under the temporary directory, or empty.
std::filesystem::path MakeScratchDirectory() {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    std::random_device random;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const auto path = base / ("sonotrap-render-" + std::to_string(random()));
        if (std::filesystem::create_directory(path, ec)) return path;
    }
    return {};
}

// A Monitor or Record run over blocks 0..last, through the capture side's own recorder.
// Recordings go to a scratch directory that is removed afterwards.
bool RenderCapture(RenderScreen& r, MonoStream& stream, size_t last, bool record) {
    std::error_code ec;
    const std::filesystem::path scratch = MakeScratchDirectory();
    if (scratch.empty()) return false;
    DiagnosticLog log;  // never opened: the run's log lines go nowhere
    CaptureSettings settings;
    settings.SetRecordingDirectory(scratch.string());
    DisplayCaptureView view(*r.display);
    std::atomic<uint32_t> blocksCaptured{0};
    auto recorder = std::make_unique<Recorder>(log, settings, &view, &view, blocksCaptured);
    recorder->BeginRun(!record);
    auto window = std::make_unique<CaptureWindow>();
    BlockWindows windows(stream);
    for (size_t k = 0; k <= last; ++k) {
        window->blocksCaptured = blocksCaptured.fetch_add(1) + 1;
        if (window->blocksCaptured < kFirstProcessedCapture) continue;
        windows.Fill(k, window->samples.data(), window->samples.size());
        recorder->ProcessCaptureBlock(*window);
        int32_t seconds = 0;
        int32_t kilobytes = 0;
        if (recorder->TakeCountersChanged(&seconds, &kilobytes)) view.UpdateTimeAndSize(seconds, kilobytes);
    }
    recorder.reset();  // closes a recording still open before its directory goes
    std::filesystem::remove_all(scratch, ec);
    return true;
}

// Time that passes only when slept: the render runs the event service's ticks back to back.
class InstantClock : public PlaybackClock {
public:
    uint32_t Now() override { return now_; }
    void Sleep(uint32_t ms) override { now_ += ms; }

private:
    uint32_t now_ = 0;
};

// A Playback run over blocks 0..last: the loaded file's own pipeline and event service tick
// (two music blocks analysed, shown and advanced per played block of 2304 samples).
bool RenderPlayback(RenderScreen& r, const std::string& file, size_t last) {
    DiagnosticLog log;  // never opened
    ShellDisplay view(*r.display, r.modeIndex);
    InstantClock clock;
    LoadedMusic music(nullptr, log, &view, nullptr, clock);
    if (!music.MapMusicFile(file) || !music.OpenMusic()) return false;
    for (size_t block = 0; block <= last; ++block) music.RunTick();
    return true;
}

int RunRender(const RenderOptions& options) {
    MonoStream stream;
    std::string error;
    if (!stream.Open(options.file, &error)) {
        std::fprintf(stderr, "sonotrap-tool render: %s\n", error.c_str());
        return 2;
    }
    const size_t blocks = std::max<size_t>(static_cast<size_t>((stream.TotalSamples() + kBlock - 1) / kBlock), 1);
    if (options.block >= static_cast<long long>(blocks)) {
        std::fprintf(stderr, "sonotrap-tool render: block %lld is past the end (the file has %zu blocks)\n",
                     options.block, blocks);
        return 2;
    }
    const size_t last = options.block < 0 ? blocks - 1 : static_cast<size_t>(options.block);

    // Rendering never shows a window: without a chosen platform, draw off screen.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "sonotrap-tool";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    RenderScreen r;
    if (!r.Build(options.mode)) {
        std::fprintf(stderr, "sonotrap-tool render: no memory for the screen\n");
        return 1;
    }
    if (options.mode == Mode::Playback) {
        if (!RenderPlayback(r, options.file, last)) {
            std::fprintf(stderr, "sonotrap-tool render: cannot play %s\n", options.file.c_str());
            return 2;
        }
    } else if (!RenderCapture(r, stream, last, options.mode == Mode::Record)) {
        std::fprintf(stderr, "sonotrap-tool render: cannot make a scratch directory\n");
        return 1;
    }
    if (!r.screen.SavePng(QString::fromStdString(options.output))) {
        std::fprintf(stderr, "sonotrap-tool render: cannot write %s\n", options.output.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

void AddRenderCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<RenderOptions>();
    auto* cmd = app.add_subcommand("render",
                                   "Show a file on the program's screen as a run in the chosen mode would and "
                                   "write the 640x480 screen as PNG");
    cmd->add_option("FILE", options->file, "16-bit PCM WAV, mono, 32000 Hz")->required();
    cmd->add_option("OUT", options->output, "PNG file to write")->required();
    const std::map<std::string, Mode> modes{
        {"monitor", Mode::Monitor}, {"record", Mode::Record}, {"playback", Mode::Playback}};
    cmd->add_option("--mode", options->mode, "monitor (default), record or playback")
        ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case));
    cmd->add_option("--block", options->block,
                    "Show blocks 0..N of 2304 samples (default: all). Capture modes analyse from block 6 on, "
                    "as a live run does from its seventh block")
        ->check(CLI::NonNegativeNumber);
    cmd->callback([options, &exitStatus] { exitStatus = RunRender(*options); });
}

}  // namespace sonotrap::tool
