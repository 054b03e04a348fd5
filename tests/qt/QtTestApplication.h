#pragma once

class QApplication;

namespace sonotrap::test {

// The one QApplication of the test process, created on first use (offscreen when there is no
// display) and kept until the process ends.
QApplication& QtTestApplication();

}  // namespace sonotrap::test
