#pragma once
#include <string>
#include <vector>

namespace sonotrap {

// Points stderr at /dev/null while it lives. PortAudio and the libraries under it print their
// complaints straight to stderr (JACK during a device probe, ALSA when a sound server goes away),
// which mean nothing to a user; the program reports what matters itself.
class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

// The sound inputs PortAudio sees, for choosing one by name or number.
struct PortAudioInput {
    int index = -1;  // PortAudio's device index
    std::string name;
    std::string hostApi;
    double defaultRate = 0.0;
    bool isDefault = false;
};

// Every device with an input channel; empty when PortAudio cannot start.
std::vector<PortAudioInput> ListPortAudioInputs();

// The device index for a choice: "" is the default input, a number is that index, any other
// text the first input whose name contains it. -1 (with the reason in error) when none fits.
int FindPortAudioInput(const std::string& choice, std::string* error);

}  // namespace sonotrap
