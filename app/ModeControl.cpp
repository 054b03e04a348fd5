#include "app/ModeControl.h"

#include "log/DiagnosticLog.h"
#include "capture/CaptureDevice.h"

namespace sonotrap {

ModeControl::ModeControl(const Parts& parts) : parts_(parts), state_(*parts.state), window_(*parts.window) {}

ModeControl::~ModeControl() { Release(); }

void ModeControl::ShowDeviceProblem() {
    window_.ShowMessageBox("Sorry, seems there was a problem - please reinitialize the application.",
                           "DirectSound error...", MessageIcon::Hand);
}

void ModeControl::SetCaptureMode(bool capture) {
    if (state_.captureSide == capture) return;
    ModeDisplay* display = parts_.display;
    if (capture) {
        ReleasePlaybackOutput();
        ReleaseLoadedMusic();
        state_.playbackPrepared = false;
        state_.fileLoaded = false;
        if (display) display->ResetGraph();
        state_.captureReady = parts_.capture && parts_.capture->InitCapture();
        if (!state_.captureReady) ShowDeviceProblem();
        state_.captureSide = true;
        if (display) display->SetMarkerFall(2);
        if (display) display->ShowThresholdMarker(true);
        return;
    }
    if (parts_.capture) parts_.capture->ReleaseCapture();
    if (display) display->ResetGraph();
    // A failed initialisation is logged by the output and shows up as a silent Start.
    output_ = std::make_unique<PlaybackOutput>(parts_.soundOutput, *parts_.log);
    output_->InitPlaybackOutput();
    state_.captureSide = false;
    if (display) display->SetMarkerFall(1);
    EnableRecordingMenu(false);
    if (display) display->ShowThresholdMarker(false);
}

bool ModeControl::StartStopCapture(bool start) {
    if (state_.running == start) return true;
    if (start) {
        if (!state_.captureReady) {
            ShowDeviceProblem();
            return false;
        }
        EnableRecordingMenu(true);
        state_.monitorOnly = state_.modeIndex == 0;
        state_.captureReady = parts_.capture && parts_.capture->StartCapture(state_.monitorOnly);
        if (!state_.captureReady) {
            // The run did not start, so its options are not available either.
            EnableRecordingMenu(false);
            window_.ShowMessageBox("Sorry, seems there was a problem - we can't record.", "Capture error...",
                                   MessageIcon::Hand);
            return false;
        }
        return true;
    }
    state_.running = false;
    if (parts_.capture) {
        parts_.capture->StopCapture();
        if (!state_.monitorOnly) parts_.capture->CloseRecordingFile();
    }
    if (parts_.display) parts_.display->ResetGraph();
    EnableRecordingMenu(false);
    return true;
}

bool ModeControl::StartStopPlayback(bool start) {
    if (state_.running == start) return false;
    if (start) {
        bool justLoaded = false;
        if (!state_.fileLoaded) {
            if (!LoadMusicFile()) return false;
            justLoaded = true;
        }
        if ((!state_.playbackPrepared || justLoaded) && output_ && loaded_) {
            output_->SetSource(loaded_->Source());
            state_.playbackPrepared = true;
        }
        // Failures are logged by the output; Playback then runs silent.
        if (output_) output_->StartPlaybackOutput();
        return true;
    }
    if (state_.fileLoaded && state_.playbackPrepared && output_ && output_->IsPlaying() && output_->HasDevice()) {
        output_->StopPlaybackOutput();  // returns once the playback thread has left
    }
    return true;
}

bool ModeControl::LoadMusicFile() {
    OpenFileRequest request;
    request.filters = {{"Audio types", "*.mp3;*.wav;"}, {"All types", "*.*"}};
    request.title = "Load music...";
    request.initialPath = musicFilePath_;
    std::string path;
    if (!window_.ChooseFileToOpen(request, &path)) return false;
    musicFilePath_ = path;

    if (output_ && !state_.captureSide && state_.running) {
        StartStopPlayback(false);
        if (parts_.display) {
            parts_.display->ResetGraph();
            parts_.display->RestoreModeStrip();
            parts_.display->ShowStartButton();
        }
        state_.running = false;
    }
    // No dispatching of waiting window messages here: the release joins the event service
    // thread at once, and a click handled in the middle of a load would find it half done.
    ReleaseLoadedMusic();
    state_.fileLoaded = false;
    state_.playbackPrepared = false;

    loaded_ = std::make_unique<LoadedMusic>(&window_, *parts_.log, parts_.musicDisplay, parts_.sharedDecoder);
    if (!loaded_->MapMusicFile(path)) {
        loaded_.reset();
        return false;
    }
    if (loaded_->OpenMusic() && loaded_->Source().bytes) {
        state_.fileLoaded = true;
        return true;
    }
    ReleaseLoadedMusic();
    return false;
}

void ModeControl::EnableRecordingMenu(bool on) { window_.EnableMenuEntry(command::kRecording, on); }

void ModeControl::Release() {
    if (state_.captureSide) {
        StartStopCapture(false);
        if (parts_.capture) parts_.capture->ReleaseCapture();
    } else {
        StartStopPlayback(false);
        ReleasePlaybackOutput();
    }
    ReleaseLoadedMusic();
    state_.fileLoaded = false;
    state_.playbackPrepared = false;
}

void ModeControl::ReleasePlaybackOutput() {
    if (!output_) return;
    output_->ReleasePlaybackOutput();
    output_.reset();
}

void ModeControl::ReleaseLoadedMusic() {
    if (!loaded_) return;
    // The output must not keep playing from the file's freed pipeline.
    if (output_) output_->SetSource({});
    loaded_->ReleaseLoadedMusic();
    loaded_.reset();
}

}  // namespace sonotrap
