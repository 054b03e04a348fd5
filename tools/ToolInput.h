#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Reading the audio a sub-command works on: the whole file as 16-bit mono samples at 32000 Hz.
namespace sonotrap::tool {

// Fills samples with the file's audio. On failure returns false with a one-line reason in
// *error (no trailing newline) and leaves samples empty.
bool LoadMonoSamples(const std::string& path, std::vector<int16_t>* samples, std::string* error);

}  // namespace sonotrap::tool
