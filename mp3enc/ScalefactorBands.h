#pragma once

namespace sonotrap::mp3enc {

// Long-block scalefactor band boundaries l[0..22], rows indexed by version * 3 + sampling
// frequency index (MPEG-2 22.05, 24, 16 kHz; MPEG-1 44.1, 48, 32 kHz).
extern const int kLongBandBoundaries[6][23];

}  // namespace sonotrap::mp3enc
