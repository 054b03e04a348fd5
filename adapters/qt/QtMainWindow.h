#pragma once
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "platform/BackScreen.h"
#include "platform/MainWindow.h"

class QAction;

namespace sonotrap {

class QtBackScreen;

// The client area: 648 x 488 pixels showing the back screen, the band beyond its 640 x 480 in
// the background colour. Left-button presses go to the window's handler.
class QtCanvas : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 648;
    static constexpr int kClientHeight = 488;
    static constexpr uint32_t kBackground = Rgb(64, 128, 128);

    QtCanvas(QtBackScreen* screen, QWidget* parent);
    void SetHandler(MainWindowHandler* handler) { handler_ = handler; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QtBackScreen* screen_;
    MainWindowHandler* handler_ = nullptr;
};

// The program's one window on Qt: title "Sonotrap", a fixed client area, the File, Options and
// Help menus with their command identifiers, and the About accelerators Alt+? and Alt+/.
// Calls of the MainWindow port may come from any thread: those that must run on the window's
// thread are posted there. A message box asked for by another thread does not block the
// window, and its worker waits for the user only until the window closes.
class QtMainWindow : public QMainWindow, public MainWindow {
    Q_OBJECT
public:
    explicit QtMainWindow(QtBackScreen* screen);  // screen may be null: the client area stays black
    ~QtMainWindow() override;

    // Binds the handler, reports OnCreate and shows the window.
    void Start(MainWindowHandler* handler);
    // Where the back screen's invalidations should go.
    InvalidationSink MakeInvalidationSink();

    void PostToMainThread(std::function<void()> call) override;
    void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool ChooseFileToOpen(const OpenFileRequest& request, std::string* path) override;
    void EnableMenuEntry(int commandId, bool enabled) override;
    void RequestClose() override;

    QAction* CommandAction(int commandId) const;
    // Boxes opened for workers that are still open.
    size_t WorkerBoxCount() const { return workerBoxes_.size(); }
    QtCanvas* Canvas() const { return canvas_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    QAction* AddCommand(QMenu* menu, const QString& text, int commandId);
    bool OnWindowThread() const;
    void ShowMessageBoxHere(const std::string& text, const std::string& caption, MessageIcon icon);
    QRegion TakePending();

    QtCanvas* canvas_;
    MainWindowHandler* handler_ = nullptr;
    std::map<int, QAction*> actions_;
    std::vector<QPointer<QMessageBox>> workerBoxes_;
    std::atomic<bool> closing_{false};
    std::mutex pendingMutex_;
    QRegion pending_;  // invalidated from other threads, not yet passed to the canvas
    bool destroyed_ = false;
};

// The Qt file-dialog filter for a request's (description, patterns) pairs.
QString FileDialogFilter(const OpenFileRequest& request);

}  // namespace sonotrap
