#pragma once
#include <functional>
#include <string>
#include <vector>

namespace sonotrap {

enum class MessageIcon { None, Hand, Exclamation, Information };

struct OpenFileRequest {
    // (description, patterns) pairs, e.g. {"Audio types", "*.mp3;*.wav;"}.
    std::vector<std::pair<std::string, std::string>> filters;
    std::string title;
    // The file shown first: the last one chosen, so the next dialog starts where it left off.
    std::string initialPath;
};

// What the system needs of its main window, whatever draws it: calls posted to the thread
// that owns the window, message boxes, the open-file dialog and the menu's enabled state.
class MainWindow {
public:
    virtual ~MainWindow() = default;

    // Runs call on the window's thread, after the calls posted before it.
    virtual void PostToMainThread(std::function<void()> call) = 0;
    // Modal box with no owner; returns when the user has dismissed it.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
    // False when cancelled; otherwise *path holds the chosen existing file.
    virtual bool ChooseFileToOpen(const OpenFileRequest& request, std::string* path) = 0;
    // Greys (false) or enables (true) the menu entry with this command identifier.
    virtual void EnableMenuEntry(int commandId, bool enabled) = 0;
    // Closes the window: the handler's OnDestroy runs on the window's thread, then the program
    // ends. Safe from the window's own thread only.
    virtual void RequestClose() {}
};

// The menu's and accelerators' command identifiers.
namespace command {
constexpr int kAbout = 104;          // Help > About ..., Alt+? and Alt+/
constexpr int kExit = 105;           // File > Exit
constexpr int kLoad = 32771;         // File > Load
constexpr int kRecording = 32772;    // Options > Recording
constexpr int kGraph = 32773;        // Options > Frequencies Graph
constexpr int kFileIO = 32774;       // Options > File I/O
}  // namespace command

// What a window reports to the program behind it, always on the window's thread.
class MainWindowHandler {
public:
    virtual ~MainWindowHandler() = default;
    virtual void OnCreate() = 0;                    // the window exists and paints
    virtual void OnDestroy() = 0;                   // the window is closing: shut down
    virtual void OnLeftButtonDown(int x, int y) = 0;  // client coordinates
    virtual void OnCommand(int commandId) = 0;      // a menu entry or accelerator
};

}  // namespace sonotrap
