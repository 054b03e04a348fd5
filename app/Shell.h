#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "log/DiagnosticLog.h"
#include "app/DialogHost.h"
#include "app/ModeControl.h"
#include "app/Settings.h"
#include "app/ShellDisplay.h"
#include "app/ShellState.h"
#include "capture/CaptureSettings.h"
#include "capture/DisplayCaptureView.h"
#include "display/ModeStrip.h"
#include "display/SpectrumDisplay.h"
#include "platform/BackScreen.h"
#include "platform/CaptureBuffer.h"
#include "platform/MainWindow.h"
#include "platform/Thread.h"

namespace sonotrap {

class CaptureDevice;
class SoundOutput;

// The program's spine. It owns the state flags, the log, the settings, the display, the
// capture device and (through mode control) the playback side. The window reports to it:
// OnCreate starts the start-up sequence on its own thread while the window already paints,
// OnDestroy takes everything down again in a fixed order, clicks and menu commands become
// calls on the other parts. Everything but the start-up sequence runs on the window's thread.
class Shell : public MainWindowHandler {
public:
    struct Devices {
        CaptureInputOpener openCaptureInput;  // the default capture device; empty: none
        SoundOutput* soundOutput = nullptr;   // the default sound output; null: none
    };
    struct Options {
        std::string logDirectory = ".";       // where "Sonotrap.Log" goes
        unsigned startupDelayMs = 100;        // the start-up thread's first pause
    };

    // The peak meter's rectangle in client pixels, used until the graph reports its own.
    static constexpr Rect kPeakMeterRect{561, 43, 576, 431};

    Shell(MainWindow& window, BackScreen& screen, DialogHost& dialogs, Devices devices, Options options);
    Shell(MainWindow& window, BackScreen& screen, DialogHost& dialogs, Devices devices)
        : Shell(window, screen, dialogs, std::move(devices), Options{}) {}
    ~Shell() override;  // shuts down if the window never did
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    void OnCreate() override;
    void OnDestroy() override;
    void OnLeftButtonDown(int x, int y) override;
    void OnCommand(int commandId) override;

    // True from OnCreate until the start-up sequence has ended.
    bool StartupRunning() const { return startupRunning_.load(); }
    // True once start-up has built the display: clicks are handled from then on.
    bool DisplayReady() const { return displayReady_.load(); }
    // Blocks until the start-up sequence has ended (polling, as shutdown does).
    void WaitForStartup();

    ShellState& State() { return state_; }
    Settings& GetSettings() { return settings_; }
    DiagnosticLog& Log() { return log_; }
    ModeControl* GetModeControl() { return modeControl_.get(); }
    SpectrumDisplay* Display() { return display_.get(); }
    const std::string& RecordingDirectory() const { return recordingDirectory_; }
    Rect PeakMeterRect() const { return peakMeterRect_; }

private:
    void InitThreadProc();
    bool RunStartupSteps();
    void BuildDisplay();
    void HandleClick(int x, int y);
    void HandleStartStop();
    void HandleModeMarkers(int x, int y);
    void OnCaptureLost();
    void OpenRecordingOptions();
    void OpenGraphOptions();
    void OpenFileIOOptions();
    void ReadRecordingDirectory();
    void ReleaseDisplay();
    void Shutdown();
    bool Cancelled() const { return shutdownRequested_.load(); }

    MainWindow& window_;
    BackScreen& screen_;
    DialogHost& dialogs_;
    Devices devices_;
    Options options_;

    ShellState state_;
    DiagnosticLog log_;
    Settings settings_;
    CaptureSettings captureSettings_;
    Rect peakMeterRect_ = kPeakMeterRect;
    std::string recordingDirectory_;

    char sharedDecoder_ = 0;  // handed to every music reader
    std::unique_ptr<ModeStrip> modeStrip_;
    std::unique_ptr<SpectrumDisplay> display_;
    std::unique_ptr<ShellDisplay> shellDisplay_;
    std::unique_ptr<DisplayCaptureView> captureView_;
    std::unique_ptr<CaptureDevice> capture_;
    std::unique_ptr<ModeControl> modeControl_;

    Thread startupThread_;
    std::atomic<bool> startupRunning_{false};
    std::atomic<bool> displayReady_{false};
    std::atomic<bool> shutdownRequested_{false};
    bool shutDown_ = false;
    // Lets a capture failure still queued on the window's thread find out that this object is gone.
    std::shared_ptr<Shell*> alive_ = std::make_shared<Shell*>(this);
};

}  // namespace sonotrap
