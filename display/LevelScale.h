#pragma once

// The two level scales of the display. Spectral levels are dBFS: a bin magnitude of 1.0 is
// 0 dB and anything too weak to measure reads kFloorDb. The meters use dB above the 16-bit
// floor, that is dBFS + kFullScaleDb (0 to 96.33).
namespace sonotrap {

constexpr double kDbPerLn = 8.685889638065035;           // 20 / ln 10
constexpr double kFullScaleDb = 96.32946607530499;       // 20 log10(65535)
constexpr float kFloorDb = static_cast<float>(-kFullScaleDb);  // -96.32947
constexpr float kTopDb = -0.000001f;                     // a reported level is never 0 or above
constexpr double kWeakestMagnitude = 1.5259e-05;         // about 1/65535: below reads kFloorDb

}  // namespace sonotrap
