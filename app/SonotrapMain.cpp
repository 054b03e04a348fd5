#include <QApplication>
#include <QMainWindow>

// The desktop program. It takes no command-line options.
int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Sonotrap");
    window.setFixedSize(648, 488);
    window.show();
    return qtApp.exec();
}
