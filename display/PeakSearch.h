#pragma once
#include <cstdint>

#include "display/NoteTables.h"

// The two peak searches over a magnitude spectrum of 8192 bins (bin k centred on k * 1.953125 Hz):
// the caller's band peak and the table of note peaks per quarter-semitone band and octave.
namespace sonotrap {

constexpr int kSpectrumBins = 8192;
constexpr double kBinWidth = 1.953125;  // 32000 Hz / 16384

// In: the band's low and high edge (Hz). Out: the peak frequency (Hz) and level (dBFS).
struct PeakReading {
    float hz = 0.0f;  // on entry the low edge, on return the peak frequency
    float db = 0.0f;  // on entry the high edge, on return the peak level
    static PeakReading Band(float low, float high) { return PeakReading{low, high}; }
};

// The note peaks of one block, drawn by the frequency graph.
struct NotePeaks {
    float bandLevel[kBandCount];           // loudest peak per band (dBFS); 0 = no peak
    float octavePeakHz[kOctaveCount];      // loudest peak per octave; 0 = none
    float octavePeakDb[kOctaveCount];
    const char* octaveNote[kOctaveCount];  // note name shown for the octave, or nullptr
    float peakHz;                          // loudest peak overall; 0 when none
    float peakDb;                          // its level; kFloorDb when none
    int32_t peakOctave;                    // 0..9, or -1 when none
};

// The level rule: floor below about 1/65535, just under 0 dB from 1.0 up, else 20 log10(m).
float PlainLevel(double magnitude);

// Frequency and level of the peak at bin k, interpolated from its two neighbours
// (1 <= k <= 8190).
struct InterpolatedPeak {
    float hz;
    float db;
};
InterpolatedPeak InterpolatePeak(const float* magnitude, int k);

// The band's bins: low edge truncated (at least 2), high edge rounded (at most 8191); a
// reversed band becomes 2..8191.
void BandBins(float low, float high, int* lowBin, int* highBin);

// Sets the reading to the loudest peak of the caller's band (reading holds the band on entry).
void FindBandPeak(const float* magnitude, PeakReading& reading);

// Fills notes with the local maxima of bins lowBin .. highBin - 1 sorted into bands and octaves.
void LocateNotePeaks(const float* magnitude, int lowBin, int highBin, NotePeaks& notes);

}  // namespace sonotrap
