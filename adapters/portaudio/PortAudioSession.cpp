#include "adapters/portaudio/PortAudioSession.h"

#include <portaudio.h>

#include <mutex>

#include "adapters/portaudio/PortAudioDevices.h"

#if defined(SONOTRAP_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif

namespace sonotrap {

namespace {

struct SessionCount {
    std::mutex mutex;
    int users = 0;
};

// PortAudio's own state is process-wide, so its reference count has to be too.
SessionCount& Sessions() {
    static SessionCount count;
    return count;
}

#if defined(SONOTRAP_HAVE_ALSA)
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

}  // namespace

PortAudioSession::PortAudioSession() {
    SessionCount& sessions = Sessions();
    std::lock_guard<std::mutex> lock(sessions.mutex);
    if (sessions.users == 0) {
#if defined(SONOTRAP_HAVE_ALSA)
        snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
        QuietStderr quiet;  // JACK's client library prints while PortAudio probes for a server
        if (Pa_Initialize() != paNoError) return;
    }
    ++sessions.users;
    open_ = true;
}

PortAudioSession::~PortAudioSession() {
    if (!open_) return;
    SessionCount& sessions = Sessions();
    std::lock_guard<std::mutex> lock(sessions.mutex);
    if (--sessions.users == 0) Pa_Terminate();
}

}  // namespace sonotrap
