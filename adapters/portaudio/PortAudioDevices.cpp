#include "adapters/portaudio/PortAudioDevices.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "adapters/portaudio/PortAudioSession.h"

namespace sonotrap {

QuietStderr::QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) close(null);
}

QuietStderr::~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
}

std::vector<PortAudioInput> ListPortAudioInputs() {
    std::vector<PortAudioInput> inputs;
    PortAudioSession session;
    if (!session.IsOpen()) return inputs;
    const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
    const PaDeviceIndex count = std::max<PaDeviceIndex>(Pa_GetDeviceCount(), 0);
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info || info->maxInputChannels < 1) continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
        inputs.push_back({i, info->name ? info->name : "", api && api->name ? api->name : "",
                          info->defaultSampleRate, i == defaultInput});
    }
    return inputs;
}

int FindPortAudioInput(const std::string& choice, std::string* error) {
    const std::vector<PortAudioInput> inputs = ListPortAudioInputs();
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return -1;
    };
    if (inputs.empty()) return fail("no sound input device found");
    if (choice.empty()) {
        for (const PortAudioInput& in : inputs) {
            if (in.isDefault) return in.index;
        }
        return fail("no default sound input device");
    }
    int number = -1;
    const char* end = choice.data() + choice.size();
    if (std::from_chars(choice.data(), end, number).ptr == end) {
        for (const PortAudioInput& in : inputs) {
            if (in.index == number) return in.index;
        }
        return fail("no input device number " + choice + " (see --list-devices)");
    }
    for (const PortAudioInput& in : inputs) {
        if (in.name.find(choice) != std::string::npos) return in.index;
    }
    return fail("no input device named like '" + choice + "' (see --list-devices)");
}

}  // namespace sonotrap
