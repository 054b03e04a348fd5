#pragma once
#include <functional>
#include <string>
#include <vector>

namespace sonotrap {

enum class MessageIcon { Hand, Exclamation, Information };

struct OpenFileRequest {
    // (description, patterns) pairs, e.g. {"Audio types", "*.mp3;*.wav;"}.
    std::vector<std::pair<std::string, std::string>> filters;
    std::string title;
};

// What the system needs of its main window, whatever draws it: calls posted to the thread
// that owns the window, message boxes, the open-file dialog and the menu's enabled state.
class MainWindow {
public:
    virtual ~MainWindow() = default;

    // Runs call on the window's thread, after the calls posted before it.
    virtual void PostToMainThread(std::function<void()> call) = 0;
    // Handles the window thread's waiting events; does nothing when called from another thread.
    virtual void DispatchPendingMessages() = 0;
    // Modal box with no owner; returns when the user has dismissed it.
    virtual void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
    // False when cancelled; otherwise *path holds the chosen existing file.
    virtual bool ChooseFileToOpen(const OpenFileRequest& request, std::string* path) = 0;
    // Greys (false) or enables (true) the menu entry with this command identifier.
    virtual void EnableMenuEntry(int commandId, bool enabled) = 0;
};

}  // namespace sonotrap
