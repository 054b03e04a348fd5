#include "support/FakeMainWindow.h"

namespace sonotrap {

void FakeMainWindow::PostToMainThread(std::function<void()> call) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(call));
}

void FakeMainWindow::ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    std::lock_guard lock(mutex_);
    boxes_.push_back({text, caption, icon});
}

bool FakeMainWindow::ChooseFileToOpen(const OpenFileRequest& request, std::string* path) {
    std::lock_guard lock(mutex_);
    fileRequests_.push_back(request);
    if (fileAnswers_.empty()) return false;
    std::optional<std::string> answer = std::move(fileAnswers_.front());
    fileAnswers_.pop_front();
    if (!answer) return false;
    *path = *answer;
    return true;
}

void FakeMainWindow::EnableMenuEntry(int commandId, bool enabled) {
    std::lock_guard lock(mutex_);
    menu_[commandId] = enabled;
    ++menuChanges_;
}

void FakeMainWindow::RequestClose() {
    std::lock_guard lock(mutex_);
    closeRequested_ = true;
}

InvalidationSink FakeMainWindow::MakeInvalidationSink() {
    InvalidationSink sink;
    sink.invalidate = [this](const Rect& rect) {
        std::lock_guard lock(mutex_);
        invalidations_.push_back(rect);
    };
    sink.update = [this] {
        std::lock_guard lock(mutex_);
        ++updates_;
    };
    return sink;
}

std::vector<Rect> FakeMainWindow::Invalidations() const {
    std::lock_guard lock(mutex_);
    return invalidations_;
}

int FakeMainWindow::Updates() const {
    std::lock_guard lock(mutex_);
    return updates_;
}

void FakeMainWindow::ClearInvalidations() {
    std::lock_guard lock(mutex_);
    invalidations_.clear();
    updates_ = 0;
}

int FakeMainWindow::RunPostedCalls() {
    int ran = 0;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty()) return ran;
            call = std::move(posted_.front());
            posted_.pop_front();
        }
        call();  // outside the lock: the call may post again
        ++ran;
    }
}

size_t FakeMainWindow::PendingCalls() const {
    std::lock_guard lock(mutex_);
    return posted_.size();
}

void FakeMainWindow::ScriptFileDialog(std::optional<std::string> answer) {
    std::lock_guard lock(mutex_);
    fileAnswers_.push_back(std::move(answer));
}

std::vector<FakeMainWindow::MessageBox> FakeMainWindow::MessageBoxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

void FakeMainWindow::ClearMessageBoxes() {
    std::lock_guard lock(mutex_);
    boxes_.clear();
}

std::vector<OpenFileRequest> FakeMainWindow::FileDialogRequests() const {
    std::lock_guard lock(mutex_);
    return fileRequests_;
}

bool FakeMainWindow::MenuEntryEnabled(int commandId) const {
    std::lock_guard lock(mutex_);
    auto it = menu_.find(commandId);
    return it == menu_.end() || it->second;
}

int FakeMainWindow::MenuChanges() const {
    std::lock_guard lock(mutex_);
    return menuChanges_;
}

bool FakeMainWindow::CloseRequested() const {
    std::lock_guard lock(mutex_);
    return closeRequested_;
}

}  // namespace sonotrap
