#pragma once
#include <cstdint>
#include <vector>

#include "mp3enc/Mp3Encoder.h"

namespace sonotrap::enctest {

// 32 kHz 16-bit test signals, made in the test so no audio files are committed.
std::vector<int16_t> SineWave(double hz, double dbfs, double seconds);
std::vector<int16_t> LogSweep(double fromHz, double toHz, double dbfs, double seconds);
std::vector<int16_t> WhiteNoise(double dbfs, double seconds, uint32_t seed = 1);
// A square wave driven past full scale and clipped to the 16-bit range.
std::vector<int16_t> ClippedSquare(double hz, double seconds);

// Encodes the samples 1152 per channel at a time, as the recorder does, and flushes at the end.
std::vector<uint8_t> EncodeAll(Mp3Encoder& encoder, const std::vector<int16_t>& samples);

}  // namespace sonotrap::enctest
