#pragma once
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/BackScreen.h"
#include "platform/MainWindow.h"

namespace sonotrap {

// A main window for tests: it shows nothing and remembers everything it was asked to do,
// including the back screen's invalidations when its sink is attached.
// Posted calls wait until the test runs them; file-dialog answers are scripted in advance
// (no answer left means Cancel). Safe to call from any thread.
class FakeMainWindow : public MainWindow {
public:
    struct MessageBox {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    void PostToMainThread(std::function<void()> call) override;
    void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool ChooseFileToOpen(const OpenFileRequest& request, std::string* path) override;
    void EnableMenuEntry(int commandId, bool enabled) override;
    void RequestClose() override;

    // Where a back screen's invalidations go: recorded, in order.
    InvalidationSink MakeInvalidationSink();
    std::vector<Rect> Invalidations() const;
    int Updates() const;
    void ClearInvalidations();

    // Runs the calls posted so far (and those they post), in order; returns how many ran.
    int RunPostedCalls();
    size_t PendingCalls() const;
    // The next file dialog answers with path; std::nullopt answers Cancel.
    void ScriptFileDialog(std::optional<std::string> answer);

    std::vector<MessageBox> MessageBoxes() const;
    void ClearMessageBoxes();
    std::vector<OpenFileRequest> FileDialogRequests() const;
    // Unknown entries read as enabled, as a menu starts.
    bool MenuEntryEnabled(int commandId) const;
    int MenuChanges() const;
    bool CloseRequested() const;

private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    std::deque<std::optional<std::string>> fileAnswers_;
    std::vector<MessageBox> boxes_;
    std::vector<OpenFileRequest> fileRequests_;
    std::map<int, bool> menu_;
    std::vector<Rect> invalidations_;
    int updates_ = 0;
    int menuChanges_ = 0;
    bool closeRequested_ = false;
};

}  // namespace sonotrap
