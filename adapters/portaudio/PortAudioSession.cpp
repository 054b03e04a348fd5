#include "adapters/portaudio/PortAudioSession.h"

#include <dlfcn.h>
#include <portaudio.h>

#include <mutex>

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

void IgnoreJackMessage(const char*) {}

// PortAudio's JACK host probes for a server and the JACK client library prints a dozen lines
// when none runs. Its message hooks are process-wide; the library is there only when PortAudio
// was built with JACK, so they are looked up rather than linked.
void QuietJack() {
    using SetHook = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
        if (auto set = reinterpret_cast<SetHook>(dlsym(RTLD_DEFAULT, name))) set(&IgnoreJackMessage);
    }
}

}  // namespace

PortAudioSession::PortAudioSession() {
    SessionCount& sessions = Sessions();
    std::lock_guard<std::mutex> lock(sessions.mutex);
    if (sessions.users == 0) {
#if defined(SONOTRAP_HAVE_ALSA)
        snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
        QuietJack();
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
