#pragma once
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DialogHost.h"
#include "app/Shell.h"
#include "platform/virtual/FakeMainWindow.h"
#include "platform/virtual/MemoryBackScreen.h"
#include "platform/virtual/VirtualCaptureBuffer.h"
#include "platform/virtual/VirtualSoundBuffer.h"
#include "support/TestSupport.h"
#include "tests/display/TestBitmaps.h"

namespace sonotrap::test {

// Dialogs that the test answers: each Run* counts the call and runs the test's script.
class FakeDialogHost : public DialogHost {
public:
    bool RunAboutDialog() override { return ++about, true; }
    bool RunRecordingOptionsDialog(RecordingOptionsDialogLogic& logic) override {
        ++recording;
        logic.OnInitDialog();
        return recordingScript ? recordingScript(logic) : false;
    }
    bool RunGraphOptionsDialog(GraphOptionsDialogLogic& logic, GraphOptionsDialogLogic::Choice* choice) override {
        ++graph;
        logic.OnInitDialog();
        if (!graphScript) return false;
        return graphScript(logic, choice);
    }
    bool RunFileIOOptionsDialog(FileIOOptionsDialogLogic& logic) override {
        ++fileIO;
        logic.OnInitDialog();
        return false;
    }

    int about = 0, recording = 0, graph = 0, fileIO = 0;
    std::function<bool(RecordingOptionsDialogLogic&)> recordingScript;
    std::function<bool(GraphOptionsDialogLogic&, GraphOptionsDialogLogic::Choice*)> graphScript;
};

// A 16-bit mono PCM WAV file of a sine at 32000 Hz.
inline void WriteToneWav(const std::string& path, int samples, double hz) {
    std::vector<uint8_t> bytes(44 + samples * 2);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&bytes[at], &v, 2); };
    std::memcpy(&bytes[0], "RIFF", 4);
    put32(4, static_cast<uint32_t>(bytes.size() - 8));
    std::memcpy(&bytes[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, 32000);
    put32(28, 64000);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(&bytes[36], "data", 4);
    put32(40, static_cast<uint32_t>(samples * 2));
    for (int i = 0; i < samples; ++i) {
        auto v = static_cast<int16_t>(std::lround(8000.0 * std::sin(2.0 * M_PI * hz * i / 32000.0)));
        put16(44 + i * 2, static_cast<uint16_t>(v));
    }
    WriteFileBytes(path, bytes);
}

// A shell over a fake window, a memory back screen, a virtual microphone (silence, on its own
// pace) and a virtual sound output, started in a fresh current directory.
class ShellHarness {
public:
    explicit ShellHarness(bool withCapture = true, unsigned startupDelayMs = 0, VirtualCaptureFaults faults = {})
        : currentDir(dir.Path()) {
        Shell::Devices devices;
        if (withCapture) {
            devices.openCaptureInput = [faults] {
                VirtualCapturePacing pacing;
                pacing.lockStep = false;
                pacing.blockIntervalMs = 72.0;
                return std::make_unique<VirtualCaptureInput>(
                    [](int16_t* out, size_t count) {
                        std::memset(out, 0, count * sizeof(int16_t));
                        return count;
                    },
                    pacing, faults);
            };
        }
        devices.soundOutput = &soundOutput;
        Shell::Options options;
        options.logDirectory = dir.Path().string();
        options.startupDelayMs = startupDelayMs;
        AddTestBitmaps(screen);
        screen.SetInvalidationSink(window.MakeInvalidationSink());
        shell = std::make_unique<Shell>(window, screen, dialogs, std::move(devices), options);
    }

    void Start() {
        shell->OnCreate();
        shell->WaitForStartup();
    }
    // A left click, then the calls it posted to the window's thread (the capture start).
    void Click(int x, int y) {
        shell->OnLeftButtonDown(x, y);
        window.RunPostedCalls();
    }
    ShellState& State() { return shell->State(); }
    uint32_t Pixel(int x, int y) { return screen.Snapshot().At(x, y); }
    std::string LogText() { return ReadFileText(dir.File("Sonotrap.Log")); }

    TempDir dir;
    ScopedCurrentDir currentDir;
    FakeMainWindow window;
    MemoryBackScreen screen;
    FakeDialogHost dialogs;
    VirtualSoundOutput soundOutput;
    std::unique_ptr<Shell> shell;
};

// Client points of the screen's controls.
constexpr int kStartX = 430, kStartY = 455;
constexpr int kMarkerRowY = 455;
constexpr int kMonitorX = 210, kRecordX = 283, kPlaybackX = 348;
constexpr int kMeterX = 568;

}  // namespace sonotrap::test
