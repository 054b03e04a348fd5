#include "display/NoteTables.h"

#include <cmath>
#include <string>

namespace sonotrap {

namespace {

std::array<std::string, kNoteNameCount> BuildNoteNameTexts() {
    // The octave digit goes where the dot is; a flat alias carries no digit.
    static const char* const kPatterns[12] = {"C.", "C#./Db", "D.", "D#./Eb", "E.", "F.",
                                              "F#./Gb", "G.", "G#./Ab", "A.", "A#./Bb", "B."};
    std::array<std::string, kNoteNameCount> texts;
    for (int n = 0; n < kNoteNameCount; ++n) {
        std::string name = kPatterns[n % 12];
        name[name.find('.')] = static_cast<char>('0' + n / 12);
        texts[n] = name;
    }
    return texts;
}

NoteBands BuildNoteBands() {
    NoteBands bands{};
    for (int b = 0; b < kBandTableSize; ++b) {
        const int octave = b / kBandsPerOctave, step = b % kBandsPerOctave;
        bands.bandCentre[b] = static_cast<float>(27.5 * std::ldexp(1.0, octave) * std::pow(2.0, (step - 36) / 48.0));
    }
    for (int i = 0; i < 2 * kBandTableSize; ++i) {
        const int octave = i / 96, step = i % 96;
        bands.bandEdge[i] = static_cast<float>(27.5 * std::ldexp(1.0, octave) * std::pow(2.0, (step - 72) / 96.0));
    }
    bands.lowestEdge = static_cast<float>(27.5 * std::pow(2.0, -73.0 / 96.0));
    return bands;
}

}  // namespace

const std::array<const char*, kNoteNameCount>& NoteNames() {
    static const std::array<std::string, kNoteNameCount> texts = BuildNoteNameTexts();
    static const std::array<const char*, kNoteNameCount> names = [] {
        std::array<const char*, kNoteNameCount> pointers{};
        for (int n = 0; n < kNoteNameCount; ++n) pointers[n] = texts[n].c_str();
        return pointers;
    }();
    return names;
}

const NoteBands& GetNoteBands() {
    static const NoteBands bands = BuildNoteBands();
    return bands;
}

}  // namespace sonotrap
