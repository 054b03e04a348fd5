#include "adapters/portaudio/PortAudioSession.h"

#include <portaudio.h>

#include <cstdio>
#include <mutex>
#include <unistd.h>
#include <fcntl.h>

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

// JACK's client library prints straight to stderr while PortAudio probes for a server; keep
// the probe quiet by pointing stderr at /dev/null for its duration.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }

private:
    int saved_ = -1;
};

}  // namespace

PortAudioSession::PortAudioSession() {
    SessionCount& sessions = Sessions();
    std::lock_guard<std::mutex> lock(sessions.mutex);
    if (sessions.users == 0) {
#if defined(SONOTRAP_HAVE_ALSA)
        snd_lib_error_set_handler(&IgnoreAlsaError);
#endif
        QuietStderr quiet;
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
