#pragma once
#include <string>
#include <vector>

namespace sonotrap {

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
