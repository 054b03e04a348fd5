#include "adapters/qt/QtMainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "adapters/qt/QtBackScreen.h"

namespace sonotrap {

QtCanvas::QtCanvas(QtBackScreen* screen, QWidget* parent) : QWidget(parent), screen_(screen) {
    setFixedSize(kClientWidth, kClientHeight);
    // Every pixel is painted by us; without this the grabbed window comes out transparent.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// Rectangle by rectangle: the bounding rectangle of a block's invalidations (graph, meters and
// readouts) would copy most of the screen each time. Each rectangle is also the clip: under the
// region's many-rectangle clip the raster engine blends span by span on its thread pool instead
// of copying rows.
void QtCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect screenArea(0, 0, BackScreen::kWidth, BackScreen::kHeight);
    const QColor background = QColor::fromRgb(static_cast<QRgb>(kBackground | 0xFF000000u));
    for (const QRect& area : event->region()) {
        painter.setClipRect(area);
        // The band right of and below the back screen.
        painter.fillRect(area.intersected(QRect(BackScreen::kWidth, 0, kClientWidth, kClientHeight)), background);
        painter.fillRect(area.intersected(QRect(0, BackScreen::kHeight, BackScreen::kWidth, kClientHeight)),
                         background);
        const QRect part = area.intersected(screenArea);
        if (part.isEmpty()) continue;
        if (screen_) {
            screen_->PaintTo(painter, part);
        } else {
            painter.fillRect(part, Qt::black);
        }
    }
}

void QtCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !handler_) return;
    const QPoint at = event->position().toPoint();
    handler_->OnLeftButtonDown(at.x(), at.y());
}

// The second press of a double click is not a click: passed on as one, a double click on
// Start would start the run and stop it again at once.
void QtCanvas::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

QtMainWindow::QtMainWindow(QtBackScreen* screen) : canvas_(new QtCanvas(screen, this)) {
    setWindowTitle(QStringLiteral("Sonotrap"));
    setCentralWidget(canvas_);
    BuildMenus();
    // The client area has one size; the window cannot be resized around it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    QPixmap icon(QStringLiteral(":/bitmaps/107.png"));
    if (!icon.isNull()) setWindowIcon(QIcon(icon));
}

QtMainWindow::~QtMainWindow() { closing_ = true; }

QAction* QtMainWindow::AddCommand(QMenu* menu, const QString& text, int commandId) {
    QAction* action = menu->addAction(text);
    action->setData(commandId);
    action->setObjectName(QStringLiteral("command%1").arg(commandId));
    connect(action, &QAction::triggered, this, [this, commandId] {
        if (handler_ && !destroyed_) handler_->OnCommand(commandId);
    });
    actions_[commandId] = action;
    return action;
}

void QtMainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    AddCommand(file, QStringLiteral("&Load"), command::kLoad);
    AddCommand(file, QStringLiteral("E&xit"), command::kExit);
    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    AddCommand(options, QStringLiteral("File &I/O"), command::kFileIO);
    // Available only during a capture run, so greyed from the start.
    AddCommand(options, QStringLiteral("&Recording"), command::kRecording)->setEnabled(false);
    AddCommand(options, QStringLiteral("&Frequencies Graph"), command::kGraph);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about = AddCommand(help, QStringLiteral("&About ..."), command::kAbout);
    // "?" is a shifted key on most layouts, so Alt+Shift+? is accepted as Alt+? too.
    about->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Question), QKeySequence(Qt::ALT | Qt::Key_Slash),
                         QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Question)});
    about->setShortcutContext(Qt::ApplicationShortcut);
    addAction(about);
}

void QtMainWindow::Start(MainWindowHandler* handler) {
    handler_ = handler;
    canvas_->SetHandler(handler);
    if (handler_) handler_->OnCreate();
    show();
}

InvalidationSink QtMainWindow::MakeInvalidationSink() {
    InvalidationSink sink;
    QtCanvas* canvas = canvas_;
    sink.invalidate = [this, canvas](const Rect& rect) {
        const QRect area(rect.left, rect.top, rect.Width(), rect.Height());
        if (OnWindowThread()) {
            canvas->update(area);
            return;
        }
        // Another thread's invalidations gather until the window's thread takes them: one
        // posted call per batch, not one per rectangle.
        std::lock_guard lock(pendingMutex_);
        const bool post = pending_.isEmpty();
        pending_ += area;
        if (post) {
            QMetaObject::invokeMethod(canvas, [this, canvas] { canvas->update(TakePending()); }, Qt::QueuedConnection);
        }
    };
    // Repaints follow from the invalidations as soon as the event loop runs.
    sink.update = [] {};
    return sink;
}

QRegion QtMainWindow::TakePending() {
    std::lock_guard lock(pendingMutex_);
    return std::exchange(pending_, QRegion());
}

bool QtMainWindow::OnWindowThread() const { return QThread::currentThread() == thread(); }

void QtMainWindow::PostToMainThread(std::function<void()> call) {
    QMetaObject::invokeMethod(this, [call = std::move(call)] { call(); }, Qt::QueuedConnection);
}

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Hand: return QMessageBox::Critical;
        case MessageIcon::Exclamation: return QMessageBox::Warning;
        case MessageIcon::Information: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

}  // namespace

void QtMainWindow::ShowMessageBoxHere(const std::string& text, const std::string& caption, MessageIcon icon) {
    QMessageBox box(ToQtIcon(icon), QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

void QtMainWindow::ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    if (OnWindowThread()) {
        ShowMessageBoxHere(text, caption, icon);
        return;
    }
    // From a worker: the box opens on the window's thread without blocking the window (it has
    // no owner), and the worker waits for it unless the window closes first, since shutdown
    // waits for the workers.
    struct Pending {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        void Finish() {
            std::lock_guard lock(mutex);
            finished = true;
            done.notify_all();
        }
    };
    auto pending = std::make_shared<Pending>();
    QMetaObject::invokeMethod(
        this,
        [this, pending, text, caption, icon] {
            if (closing_) return pending->Finish();
            auto* box = new QMessageBox(ToQtIcon(icon), QString::fromStdString(caption),
                                        QString::fromStdString(text), QMessageBox::Ok);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            connect(box, &QObject::destroyed, [pending] { pending->Finish(); });
            std::erase_if(workerBoxes_, [](const QPointer<QMessageBox>& open) { return open.isNull(); });
            workerBoxes_.push_back(box);
            box->show();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(pending->mutex);
    while (!pending->finished && !closing_) pending->done.wait_for(lock, std::chrono::milliseconds(50));
}

QString FileDialogFilter(const OpenFileRequest& request) {
    QStringList filters;
    for (const auto& [description, patterns] : request.filters) {
        QStringList globs;
        for (const QString& glob : QString::fromStdString(patterns).split(u';', Qt::SkipEmptyParts))
            globs << (glob == QStringLiteral("*.*") ? QStringLiteral("*") : glob);  // any name, dot or not
        filters << QStringLiteral("%1 (%2)").arg(QString::fromStdString(description), globs.join(u' '));
    }
    return filters.join(QStringLiteral(";;"));
}

bool QtMainWindow::ChooseFileToOpen(const OpenFileRequest& request, std::string* path) {
    if (!OnWindowThread()) return false;
    const QString chosen = QFileDialog::getOpenFileName(this, QString::fromStdString(request.title),
                                                        QString::fromStdString(request.initialPath),
                                                        FileDialogFilter(request));
    if (chosen.isEmpty()) return false;
    *path = chosen.toStdString();
    return true;
}

void QtMainWindow::EnableMenuEntry(int commandId, bool enabled) {
    QAction* action = CommandAction(commandId);
    if (!action) return;
    if (OnWindowThread()) {
        action->setEnabled(enabled);
    } else {
        QMetaObject::invokeMethod(action, [action, enabled] { action->setEnabled(enabled); }, Qt::QueuedConnection);
    }
}

void QtMainWindow::RequestClose() {
    if (OnWindowThread()) close();
}

QAction* QtMainWindow::CommandAction(int commandId) const {
    auto it = actions_.find(commandId);
    return it == actions_.end() ? nullptr : it->second;
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    if (!destroyed_) {
        destroyed_ = true;
        closing_ = true;
        canvas_->SetHandler(nullptr);
        if (handler_) handler_->OnDestroy();
        // Boxes that workers asked for go with the window.
        for (QPointer<QMessageBox>& box : workerBoxes_) delete box.data();
        workerBoxes_.clear();
    }
    event->accept();
}

}  // namespace sonotrap
