#pragma once
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/DialogHost.h"
#include "app/Shell.h"
#include "support/FakeMainWindow.h"
#include "adapters/virtual/MemoryBackScreen.h"
#include "adapters/virtual/VirtualCaptureBuffer.h"
#include "adapters/virtual/VirtualSoundBuffer.h"
#include "support/TestSupport.h"
#include "tests/app/LoadedMusicSupport.h"
#include "tests/display/TestBitmaps.h"

namespace sonotrap::test {

// Client points of the screen's controls.
constexpr int kStartX = 430, kStartY = 455;
constexpr int kMarkerRowY = 455;
constexpr int kMonitorX = 210, kRecordX = 283, kPlaybackX = 348;
constexpr int kMeterX = 568;

// Dialogs that the test answers: each Run* counts the call and runs the test's script.
class FakeDialogHost : public DialogHost {
public:
    bool RunAboutDialog() override { return ++about, true; }
    bool RunRecordingOptionsDialog(RecordingOptionsDialogLogic& logic) override {
        logic.OnInitDialog();
        return recordingScript && recordingScript(logic);
    }
    bool RunGraphOptionsDialog(GraphOptionsDialogLogic& logic, GraphOptionsDialogLogic::Choice* choice) override {
        ++graph;
        logic.OnInitDialog();
        return graphScript && graphScript(logic, choice);
    }
    bool RunFileIOOptionsDialog(FileIOOptionsDialogLogic& logic) override {
        ++fileIO;
        logic.OnInitDialog();
        return false;
    }

    int about = 0, graph = 0, fileIO = 0;
    std::function<bool(RecordingOptionsDialogLogic&)> recordingScript;
    std::function<bool(GraphOptionsDialogLogic&, GraphOptionsDialogLogic::Choice*)> graphScript;
};

// Polls until done() holds, at most timeoutMs; false (and a failure naming what) if it never does.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs, const std::string& what) {
    for (int waited = 0; !done(); waited += 10) {
        if (waited >= timeoutMs) {
            ADD_FAILURE() << "timed out waiting for " << what;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A shell over a fake window, a memory back screen, a virtual microphone (silence, on its own
// pace; or the given samples in lock step, no block lost) and a virtual sound output, started
// in a fresh current directory.
class ShellHarness {
public:
    explicit ShellHarness(bool withCapture = true, unsigned startupDelayMs = 0, VirtualCaptureFaults faults = {},
                          std::vector<int16_t> input = {})
        : currentDir(dir.Path()) {
        Shell::Devices devices;
        if (withCapture) {
            devices.openCaptureInput = [faults, input] {
                VirtualCapturePacing pacing;
                pacing.lockStep = !input.empty();
                pacing.blockIntervalMs = input.empty() ? 72.0 : 0.0;
                CaptureSampleSource source = [](int16_t* out, size_t count) {
                    std::memset(out, 0, count * sizeof(int16_t));
                    return count;
                };
                if (!input.empty()) source = MakeSampleSource(input);
                return std::make_unique<VirtualCaptureInput>(std::move(source), pacing, faults);
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
    std::string MusicFile() {
        const std::string path = dir.File("music.wav");
        EXPECT_TRUE(WriteMonoWav(path, CountingSamples(32000)));
        return path;
    }
    void PlayFile(const std::string& path) {
        Click(kPlaybackX, kMarkerRowY);
        window.ScriptFileDialog(path);
        Click(kStartX, kStartY);
    }
    void ExpectBox(size_t i, const std::string& text, const std::string& caption, MessageIcon icon) {
        const auto boxes = window.MessageBoxes();
        ASSERT_GT(boxes.size(), i);
        EXPECT_EQ(boxes[i].text, text);
        EXPECT_EQ(boxes[i].caption, caption);
        EXPECT_EQ(boxes[i].icon, icon);
    }

    TempDir dir;
    ScopedCurrentDir currentDir;
    FakeMainWindow window;
    MemoryBackScreen screen;
    FakeDialogHost dialogs;
    VirtualSoundOutput soundOutput;
    std::unique_ptr<Shell> shell;
};

}  // namespace sonotrap::test
