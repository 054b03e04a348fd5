#include <QApplication>
#include <memory>

#include "app/Shell.h"
#include "adapters/qt/QtBackScreen.h"
#include "adapters/qt/QtDialogHost.h"
#include "adapters/qt/QtMainWindow.h"
#ifdef SONOTRAP_HAVE_PORTAUDIO
#include "adapters/portaudio/PortAudioCaptureBuffer.h"
#include "adapters/portaudio/PortAudioSoundBuffer.h"
#endif

// The desktop program. It takes no options of its own.
int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    sonotrap::QtBackScreen screen;
    sonotrap::QtMainWindow window(&screen);
    screen.SetInvalidationSink(window.MakeInvalidationSink());
    sonotrap::QtDialogHost dialogs(&window);
    sonotrap::Shell::Devices devices;
#ifdef SONOTRAP_HAVE_PORTAUDIO
    // The sound output must outlive the shell, which plays through it.
    std::unique_ptr<sonotrap::SoundOutput> soundOutput = sonotrap::OpenPortAudioSoundOutput();
    devices.soundOutput = soundOutput.get();
    devices.openCaptureInput = [] { return sonotrap::OpenPortAudioCaptureInput(); };
#endif
    sonotrap::Shell shell(window, screen, dialogs, std::move(devices));
    window.Start(&shell);
    const int exitCode = qtApp.exec();
    screen.SetInvalidationSink({});
    return exitCode;
}
