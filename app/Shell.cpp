#include "app/Shell.h"

#include <cmath>
#include <filesystem>

#include "capture/CaptureDevice.h"
#include "display/StaticScreen.h"
#include "mp3dec/Mp3Decoder.h"

namespace sonotrap {

namespace {

// Start/Stop button and mode-marker row, inclusive client coordinates.
constexpr int kButtonLeft = 420, kButtonRight = 458, kButtonTop = 444, kButtonBottom = 471;
constexpr int kMarkerTop = 451, kMarkerBottom = 463;
constexpr int kMonitorLeft = 204, kRecordLeft = 277, kPlaybackLeft = 342, kMarkerWidth = 12;
const double kMeterSpanDb = 20.0 * std::log10(65535.0);

bool InRange(int v, int low, int high) { return v >= low && v <= high; }

// Clears a flag for the life of the object and sets it again on every way out.
class FlagCleared {
public:
    explicit FlagCleared(std::atomic<bool>& flag) : flag_(flag) { flag_ = false; }
    ~FlagCleared() { flag_ = true; }

private:
    std::atomic<bool>& flag_;
};

}  // namespace

Shell::Shell(MainWindow& window, BackScreen& screen, DialogHost& dialogs, Devices devices, Options options)
    : window_(window),
      screen_(screen),
      dialogs_(dialogs),
      devices_(std::move(devices)),
      options_(std::move(options)),
      settings_(log_, captureSettings_) {}

Shell::~Shell() {
    Shutdown();
    alive_.reset();
}

// The commands that need what start-up builds stay greyed until it has built them.
constexpr int kStartupCommands[] = {command::kLoad, command::kGraph};

void Shell::OnCreate() {
    window_.EnableMenuEntry(command::kRecording, false);
    for (int id : kStartupCommands) window_.EnableMenuEntry(id, false);
    startupRunning_ = true;
    if (!startupThread_.Start([this] { InitThreadProc(); })) startupRunning_ = false;
}

void Shell::WaitForStartup() {
    while (startupRunning_) SleepMs(100);
    if (startupThread_.Joinable()) startupThread_.Join();
}

void Shell::InitThreadProc() {
    RunStartupSteps();
    startupRunning_ = false;
}

// The start-up sequence. A shutdown that begins meanwhile makes it stop between steps.
bool Shell::RunStartupSteps() {
    SleepMs(options_.startupDelayMs);
    window_.EnableMenuEntry(command::kRecording, false);
    log_.LogOpen(options_.logDirectory);
    if (!CreateBackScreen(screen_, window_)) return false;
    if (Cancelled()) return false;
    BuildDisplay();
    if (Cancelled()) return false;

    CaptureServices services;
    services.log = &log_;
    services.settings = &captureSettings_;
    services.window = &window_;
    services.openInput = devices_.openCaptureInput;
    services.analysis = captureView_.get();
    services.view = captureView_.get();
    services.captureLost = [this, alive = std::weak_ptr<Shell*>(alive_)] {
        window_.PostToMainThread([alive] {
            if (auto shell = alive.lock()) (*shell)->OnCaptureLost();
        });
    };
    capture_ = std::make_unique<CaptureDevice>(std::move(services));

    ModeControl::Parts parts;
    parts.state = &state_;
    parts.window = &window_;
    parts.log = &log_;
    parts.display = shellDisplay_.get();
    parts.capture = capture_.get();
    parts.soundOutput = devices_.soundOutput;
    parts.musicDisplay = shellDisplay_.get();
    parts.sharedDecoder = &sharedDecoder_;
    modeControl_ = std::make_unique<ModeControl>(parts);
    modeControl_->SetCaptureMode(true);

    settings_.ActivateSizeLimit();
    state_.running = false;
    settings_.InstallDefaults();
    ReadRecordingDirectory();
    displayReady_ = true;
    for (int id : kStartupCommands) window_.EnableMenuEntry(id, true);
    return true;
}

// The static screen, the decoder tables, the mode strip and the spectrum display.
void Shell::BuildDisplay() {
    DrawStaticScreen(screen_, state_.modeIndex);
    InitDecoderTables();
    modeStrip_ = std::make_unique<ModeStrip>(screen_);
    display_ = std::make_unique<SpectrumDisplay>(screen_, modeStrip_.get());
    display_->CreateSpectrumDisplay();
    peakMeterRect_ = display_->Graph()->PeakMeterRect();
    shellDisplay_ = std::make_unique<ShellDisplay>(*display_, state_.modeIndex);
    captureView_ = std::make_unique<DisplayCaptureView>(*display_);
    settings_.SetThresholdListener([display = shellDisplay_.get()](uint32_t t) { display->SetThresholdMarker(t); });
}

void Shell::ReadRecordingDirectory() {
    std::error_code error;
    std::string directory = std::filesystem::current_path(error).string();
    // An unreadable directory stays empty (Record refuses to start), never the root.
    if (!error && !directory.empty() && directory.back() != '/') directory += '/';
    if (error) directory.clear();
    recordingDirectory_ = directory;
    captureSettings_.SetRecordingDirectory(directory);
}

void Shell::OnLeftButtonDown(int x, int y) {
    // Nothing is handled until start-up has built everything a click may touch.
    if (startupRunning_ || !displayReady_ || !state_.clicksEnabled) return;
    FlagCleared busy(state_.clicksEnabled);
    HandleClick(x, y);
}

void Shell::HandleClick(int x, int y) {
    const Rect& meter = peakMeterRect_;
    bool inMeter = x > meter.left && x < meter.right && y > meter.top && y < meter.bottom;
    if (inMeter && state_.captureSide && state_.running) {
        double level = kMeterSpanDb * (y - meter.top) / (meter.bottom - meter.top);
        settings_.SetThreshold(static_cast<uint32_t>(std::floor(level + 0.5)));
        settings_.ApplyThreshold();
        return;
    }
    if (InRange(x, kButtonLeft, kButtonRight) && InRange(y, kButtonTop, kButtonBottom)) {
        HandleStartStop();
        return;
    }
    shellDisplay_->ResetAveraging();
    if (!state_.running) HandleModeMarkers(x, y);
}

void Shell::HandleStartStop() {
    if (state_.running) {
        if (state_.captureSide) {
            modeControl_->StartStopCapture(false);
        } else {
            modeControl_->StartStopPlayback(false);
        }
        shellDisplay_->RestoreModeStrip();
        shellDisplay_->ShowStartButton();
        state_.running = false;
        return;
    }
    if (state_.captureSide) {
        if (state_.modeIndex == 1 && recordingDirectory_.empty()) {
            window_.ShowMessageBox("Sorry, can't read the current directory - we can't record.", "File IO Error ",
                                   MessageIcon::Exclamation);
            return;
        }
        if (!modeControl_->StartStopCapture(true)) return;
    } else if (!modeControl_->StartStopPlayback(true)) {
        return;  // no file chosen, or it could not be read
    }
    shellDisplay_->DisableModeStrip();
    shellDisplay_->ShowStopButton();
    state_.running = true;
}

// The capture device failed during a run: the run ends as a Stop would end it, and the user
// is told. A report that arrives after the run was stopped, or restarted, is stale.
void Shell::OnCaptureLost() {
    if (!displayReady_ || !state_.running || !state_.captureSide || capture_->IsCaptureHealthy()) return;
    HandleStartStop();
    modeControl_->ShowDeviceProblem();
}

void Shell::HandleModeMarkers(int x, int y) {
    if (!InRange(y, kMarkerTop, kMarkerBottom)) return;
    int mode = -1;
    if (InRange(x, kMonitorLeft, kMonitorLeft + kMarkerWidth)) mode = 0;
    if (InRange(x, kRecordLeft, kRecordLeft + kMarkerWidth)) mode = 1;
    if (InRange(x, kPlaybackLeft, kPlaybackLeft + kMarkerWidth)) mode = 2;
    if (mode < 0) return;
    shellDisplay_->SelectModeButton(mode);
    modeControl_->SetCaptureMode(mode != 2);
}

void Shell::OnCommand(int commandId) {
    // Commands that reach the display or the devices wait for start-up to have built them.
    bool ready = !startupRunning_ && displayReady_;
    switch (commandId) {
        case command::kLoad:
            if (ready) modeControl_->LoadMusicFile();
            break;
        case command::kExit:
            window_.RequestClose();
            break;
        case command::kFileIO:
            OpenFileIOOptions();
            break;
        case command::kRecording:
            if (ready) OpenRecordingOptions();
            break;
        case command::kGraph:
            if (ready) OpenGraphOptions();
            break;
        case command::kAbout:
            dialogs_.RunAboutDialog();
            break;
        default:
            break;
    }
}

void Shell::OpenRecordingOptions() {
    RecordingOptionsDialogLogic logic(settings_, state_, window_);
    dialogs_.RunRecordingOptionsDialog(logic);
}

void Shell::OpenGraphOptions() {
    SpectrumAnalyzer* analyzer = display_->Analyzer();
    GraphOptionsDialogLogic logic(static_cast<int>(analyzer->GetAveragingDepth()), analyzer->GetNormalize());
    GraphOptionsDialogLogic::Choice choice{};
    if (!dialogs_.RunGraphOptionsDialog(logic, &choice)) return;
    analyzer->SetAveragingDepth(static_cast<uint32_t>(choice.averagingDepth));
    analyzer->SetNormalize(choice.normalize);
}

void Shell::OpenFileIOOptions() {
    FileIOOptionsDialogLogic logic(settings_);
    dialogs_.RunFileIOOptionsDialog(logic);
}

void Shell::OnDestroy() { Shutdown(); }

// The shutdown sequence. It first waits for the start-up sequence: releasing the devices or
// closing the log while start-up may still be opening them would leave them half built.
void Shell::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    shutdownRequested_ = true;
    WaitForStartup();
    displayReady_ = false;
    if (modeControl_) modeControl_->Release();
    modeControl_.reset();
    capture_.reset();
    state_.fileLoaded = false;
    state_.playbackPrepared = false;
    log_.LogClose();
    ReleaseDisplay();
    screen_.Release();
}

void Shell::ReleaseDisplay() {
    settings_.SetThresholdListener(nullptr);
    captureView_.reset();
    shellDisplay_.reset();
    display_.reset();
    modeStrip_.reset();
}

}  // namespace sonotrap
