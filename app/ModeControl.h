#pragma once
#include <memory>
#include <string>

#include "app/LoadedMusic.h"
#include "app/ModeDisplay.h"
#include "app/PlaybackOutput.h"
#include "app/ShellState.h"
#include "platform/MainWindow.h"

namespace sonotrap {

class CaptureDevice;
class DiagnosticLog;
class SoundOutput;

// Switches between the capture side (Monitor, Record) and the playback side, starts and stops
// runs on either side and loads music files. It owns the playback output and the loaded file;
// the capture device belongs to the shell. Everything here runs on the main thread (and, once,
// on the start-up thread before the main thread may call in).
class ModeControl {
public:
    struct Parts {
        ShellState* state = nullptr;
        MainWindow* window = nullptr;
        DiagnosticLog* log = nullptr;
        ModeDisplay* display = nullptr;            // null: nothing is drawn
        CaptureDevice* capture = nullptr;          // null: there is no capture device
        SoundOutput* soundOutput = nullptr;        // null: no sound output device
        MusicBlockDisplay* musicDisplay = nullptr;  // how a playing file is shown
        void* sharedDecoder = nullptr;             // handed to each music reader
    };

    explicit ModeControl(const Parts& parts);
    ~ModeControl();  // releases the playback output and the loaded file
    ModeControl(const ModeControl&) = delete;
    ModeControl& operator=(const ModeControl&) = delete;

    // Selects the capture side (true) or the playback side; nothing when already selected.
    void SetCaptureMode(bool capture);
    // Starts or stops a Monitor or Record run; true at once when running already equals start.
    bool StartStopCapture(bool start);
    // Starts (loading a file first if none is loaded) or stops playing; false at once when
    // running already equals start.
    bool StartStopPlayback(bool start);
    // File > Load: the open-file dialog, then the file mapped and opened. False on Cancel or
    // when the file cannot be read.
    bool LoadMusicFile();
    // Enables or greys Options > Recording.
    void EnableRecordingMenu(bool on);
    // The capture device's "please reinitialize" box.
    void ShowDeviceProblem();

    // Stops whatever side is active and releases the playback output and the loaded file.
    void Release();

    bool HasPlaybackOutput() const { return output_ != nullptr; }
    PlaybackOutput* Output() { return output_.get(); }
    LoadedMusic* Music() { return loaded_.get(); }
    const std::string& MusicFilePath() const { return musicFilePath_; }

private:
    void ReleasePlaybackOutput();
    void ReleaseLoadedMusic();

    Parts parts_;
    ShellState& state_;
    MainWindow& window_;
    std::unique_ptr<PlaybackOutput> output_;
    std::unique_ptr<LoadedMusic> loaded_;
    std::string musicFilePath_;
};

}  // namespace sonotrap
