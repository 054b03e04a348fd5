#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <tuple>

#include "adapters/qt/QtBackScreen.h"
#include "adapters/qt/QtMainWindow.h"
#include "qt/QtTestApplication.h"

namespace sonotrap {
namespace {

class RecordingHandler : public MainWindowHandler {
public:
    void OnCreate() override { ++created; }
    void OnDestroy() override { ++destroyed; }
    void OnLeftButtonDown(int x, int y) override { clicks.push_back({x, y}); }
    void OnCommand(int commandId) override { commands.push_back(commandId); }
    int created = 0, destroyed = 0;
    std::vector<std::pair<int, int>> clicks;
    std::vector<int> commands;
};

class QtShellWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::QtTestApplication(); }
    // Runs the event loop until done() holds, for at most a second.
    static bool PumpUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 200; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QApplication::processEvents();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    RecordingHandler handler;
};

TEST_F(QtShellWindow, FixedClientAreaTitleMenusAndAccelerators) {
    QtMainWindow window(nullptr);
    window.Start(&handler);
    QApplication::processEvents();
    EXPECT_EQ(handler.created, 1);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Sonotrap"));
    EXPECT_EQ(window.Canvas()->size(), QSize(648, 488));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());  // cannot be resized
    for (auto [id, text] : {std::pair{32771, "&Load"}, {105, "E&xit"}, {32774, "File &I/O"}, {32772, "&Recording"},
                            {32773, "&Frequencies Graph"}, {104, "&About ..."}}) {
        QAction* action = window.CommandAction(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_EQ(action->text(), QString::fromLatin1(text));
        EXPECT_EQ(action->isEnabled(), id != command::kRecording) << id;  // Recording: only during a run
        action->setEnabled(true);
        action->trigger();
    }
    EXPECT_EQ(handler.commands, (std::vector<int>{32771, 105, 32774, 32772, 32773, 104}));
    EXPECT_TRUE(window.CommandAction(command::kAbout)->shortcuts().contains(QKeySequence(Qt::ALT | Qt::Key_Slash)));
    window.close();
    EXPECT_EQ(handler.destroyed, 1);
}

TEST_F(QtShellWindow, LeftPressesReachTheHandlerInClientCoordinates) {
    QtMainWindow window(nullptr);
    window.Start(&handler);
    auto press = [&](QPointF at, Qt::MouseButton button) {
        QMouseEvent event(QEvent::MouseButtonPress, at, at, button, button, Qt::NoModifier);
        QApplication::sendEvent(window.Canvas(), &event);
    };
    press({430, 455}, Qt::LeftButton);
    press({10, 10}, Qt::RightButton);
    QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(430, 455), QPointF(430, 455), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.Canvas(), &second);  // a double click's second press is no click
    EXPECT_EQ(handler.clicks, (std::vector<std::pair<int, int>>{{430, 455}}));
    window.close();
    press({430, 455}, Qt::LeftButton);  // after close nothing is reported
    EXPECT_EQ(handler.clicks.size(), 1u);
}

TEST_F(QtShellWindow, PaintsBackScreenAndBackgroundBand) {
    QtBackScreen screen;
    QtMainWindow window(&screen);
    const QImage before = window.Canvas()->grab().toImage();
    EXPECT_EQ(before.pixel(100, 100) & 0xFFFFFF, 0u);  // no pixels yet: black
    EXPECT_EQ(before.pixel(644, 100) & 0xFFFFFF, QtCanvas::kBackground);
    ASSERT_TRUE(screen.Create());
    screen.Lock().FillRect(Rect{0, 0, 640, 480}, Rgb(10, 20, 30));
    const QImage after = window.Canvas()->grab().toImage();
    for (auto [x, y, colour] : {std::tuple{639, 479, Rgb(10, 20, 30)}, {640, 479, QtCanvas::kBackground},
                                {300, 485, QtCanvas::kBackground}})
        EXPECT_EQ(after.pixel(x, y) & 0xFFFFFF, colour) << x << "," << y;
}

TEST_F(QtShellWindow, MenuStateAndPostedCallsFromAnotherThread) {
    QtMainWindow window(nullptr);
    int ran = 0;
    std::thread worker([&] {
        window.EnableMenuEntry(command::kRecording, false);
        window.PostToMainThread([&] { ++ran; });
    });
    worker.join();
    QApplication::processEvents();
    EXPECT_FALSE(window.CommandAction(command::kRecording)->isEnabled());
    EXPECT_EQ(ran, 1);
    window.EnableMenuEntry(command::kRecording, true);
    EXPECT_TRUE(window.CommandAction(command::kRecording)->isEnabled());
}

TEST(QtFileDialogFilter, TranslatesPatternPairs) {
    OpenFileRequest request;
    request.filters = {{"Audio types", "*.mp3;*.wav;"}, {"All types", "*.*"}};
    EXPECT_EQ(FileDialogFilter(request), QStringLiteral("Audio types (*.mp3 *.wav);;All types (*)"));
}

}  // namespace
}  // namespace sonotrap
