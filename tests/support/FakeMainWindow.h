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
// including the back screen's invalidations when its sink is attached. Posted calls wait until
// the test runs them; file-dialog answers are scripted (none left means Cancel). Thread-safe.
class FakeMainWindow : public MainWindow {
public:
    struct MessageBox {
        std::string text, caption;
        MessageIcon icon;
    };

    void PostToMainThread(std::function<void()> call) override { Locked([&] { posted_.push_back(std::move(call)); }); }
    void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override {
        Locked([&] { boxes_.push_back({text, caption, icon}); });
    }
    bool ChooseFileToOpen(const OpenFileRequest& request, std::string* path) override {
        return Locked([&] {
            fileRequests_.push_back(request);
            if (fileAnswers_.empty()) return false;
            const std::optional<std::string> answer = std::move(fileAnswers_.front());
            fileAnswers_.pop_front();
            if (answer) *path = *answer;
            return answer.has_value();
        });
    }
    void EnableMenuEntry(int commandId, bool enabled) override { Locked([&] { menu_[commandId] = enabled; }); }
    void RequestClose() override { Locked([&] { closeRequested_ = true; }); }

    InvalidationSink MakeInvalidationSink() {
        return {[this](const Rect& rect) { Locked([&] { invalidations_.push_back(rect); }); }, [] {}};
    }
    std::vector<Rect> Invalidations() const { return Locked([&] { return invalidations_; }); }
    void ClearInvalidations() { Locked([&] { invalidations_.clear(); }); }

    // Runs the calls posted so far (and those they post), in order; returns how many ran.
    int RunPostedCalls() {
        int ran = 0;
        for (std::function<void()> call; (call = TakePosted()); ++ran) call();  // unlocked: it may post
        return ran;
    }
    size_t PendingCalls() const { return Locked([&] { return posted_.size(); }); }
    // The next file dialog answers with path; std::nullopt answers Cancel.
    void ScriptFileDialog(std::optional<std::string> answer) {
        Locked([&] { fileAnswers_.push_back(std::move(answer)); });
    }
    std::vector<MessageBox> MessageBoxes() const { return Locked([&] { return boxes_; }); }
    std::vector<OpenFileRequest> FileDialogRequests() const { return Locked([&] { return fileRequests_; }); }
    // Unknown entries read as enabled, as a menu starts.
    bool MenuEntryEnabled(int commandId) const {
        return Locked([&] { return !menu_.count(commandId) || menu_.at(commandId); });
    }
    bool CloseRequested() const { return Locked([&] { return closeRequested_; }); }

private:
    template <typename F>
    auto Locked(F f) const -> decltype(f()) {
        std::lock_guard lock(mutex_);
        return f();
    }
    std::function<void()> TakePosted() {
        return Locked([&] {
            std::function<void()> call;
            if (!posted_.empty()) call = std::move(posted_.front()), posted_.pop_front();
            return call;
        });
    }

    mutable std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    std::deque<std::optional<std::string>> fileAnswers_;
    std::vector<MessageBox> boxes_;
    std::vector<OpenFileRequest> fileRequests_;
    std::map<int, bool> menu_;
    std::vector<Rect> invalidations_;
    bool closeRequested_ = false;
};

}  // namespace sonotrap
