#pragma once
#include <array>

// The musical grid of the display: note names per semitone and quarter-semitone bands from C0
// (16.35 Hz) with A4 = 440 Hz. Built once, read-only afterwards.
namespace sonotrap {

constexpr int kNoteNameCount = 120;   // C0 .. B9
constexpr int kBandCount = 477;       // quarter-semitone bands in use, C0 .. about 15.9 kHz
constexpr int kBandTableSize = 480;
constexpr int kBandsPerOctave = 48;
constexpr int kOctaveCount = 10;

// "C0", "C#0/Db", ... "B9": index = 12 * octave + semitone.
const std::array<const char*, kNoteNameCount>& NoteNames();

struct NoteBands {
    float bandCentre[kBandTableSize];      // centre of band b; b % 4 == 0 is a note
    float bandEdge[2 * kBandTableSize];    // eighth-semitone steps: [2b] centre, [2b + 1] upper edge of b
    float lowestEdge;                      // lower edge of band 0 (16.23396 Hz)
};
const NoteBands& GetNoteBands();

}  // namespace sonotrap
