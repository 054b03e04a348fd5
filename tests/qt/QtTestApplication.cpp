#include "qt/QtTestApplication.h"

#include <QApplication>
#include <cstdlib>

namespace sonotrap::test {

QApplication& QtTestApplication() {
    static QApplication* app = [] {
        if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "sonotrap_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);  // lives as long as the process
    }();
    return *app;
}

}  // namespace sonotrap::test
