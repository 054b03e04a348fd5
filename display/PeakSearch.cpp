#include "display/PeakSearch.h"

#include <algorithm>
#include <cmath>

#include "display/LevelScale.h"

namespace sonotrap {

namespace {

constexpr float kBinWidthF = 1.953125f;
constexpr int kLowestBin = 2;
constexpr int kHighestBin = kSpectrumBins - 1;

// A bin number from a float, safe for any input (NaN and huge values included).
int TruncatedBin(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= static_cast<float>(kSpectrumBins)) return kSpectrumBins;
    return static_cast<int>(value);
}

}  // namespace

float PlainLevel(double magnitude) {
    if (magnitude < kWeakestMagnitude) return kFloorDb;
    if (magnitude >= 1.0) return kTopDb;
    return static_cast<float>(std::log(magnitude) * kDbPerLn);
}

InterpolatedPeak InterpolatePeak(const float* magnitude, int k) {
    const float mL = magnitude[k - 1], mC = magnitude[k], mR = magnitude[k + 1];
    const float difference = mR - mL;
    const float sum = mL + mC + mR;
    const double delta = difference * 1.747 / sum;
    const float curvature = 2.0f * mC - mL - mR;
    const double amplitude = curvature * 0.5 * delta * delta + mC;
    return {static_cast<float>((k + delta) * kBinWidth), PlainLevel(amplitude)};
}

void BandBins(float low, float high, int* lowBin, int* highBin) {
    int lo = std::max(TruncatedBin(low / kBinWidthF), kLowestBin);
    int hi = std::min(TruncatedBin(high / kBinWidthF + 0.5f), kHighestBin);
    if (lo > hi) {
        lo = kLowestBin;
        hi = kHighestBin;
    }
    *lowBin = lo;
    *highBin = hi;
}

void FindBandPeak(const float* magnitude, PeakReading& reading) {
    const float low = reading.hz, high = reading.db;
    int lowBin = 0, highBin = 0;
    BandBins(low, high, &lowBin, &highBin);

    int best = 0;
    float max = 0.0f;
    for (int k = lowBin; k <= highBin; ++k) {
        if (magnitude[k] > max) {
            max = magnitude[k];
            best = k;
        }
    }
    if (best == 0) {
        reading.db = kFloorDb;  // frequency stays the low edge
        return;
    }
    if (best == highBin) {
        reading = {high, PlainLevel(max)};
        return;
    }
    if (best == lowBin) {
        reading.db = PlainLevel(max);
        return;
    }
    InterpolatedPeak peak{0.0f, kFloorDb};
    if (magnitude[best] > magnitude[best - 1] && magnitude[best] > magnitude[best + 1])
        peak = InterpolatePeak(magnitude, best);
    if (low <= peak.hz && peak.hz <= high)
        reading = {peak.hz, peak.db};
    else
        reading = {static_cast<float>(best * kBinWidthF), PlainLevel(max)};
}

namespace {

void ResetNotePeaks(NotePeaks& notes) {
    std::fill(std::begin(notes.bandLevel), std::end(notes.bandLevel), 0.0f);
    std::fill(std::begin(notes.octavePeakHz), std::end(notes.octavePeakHz), 0.0f);
    std::fill(std::begin(notes.octavePeakDb), std::end(notes.octavePeakDb), 0.0f);
    std::fill(std::begin(notes.octaveNote), std::end(notes.octaveNote), nullptr);
    notes.peakHz = 0.0f;
    notes.peakOctave = -1;
    notes.peakDb = kFloorDb;
}

// A peak below the first band's upper edge, while no later band has been reached.
void TakeBandZeroPeak(const InterpolatedPeak& peak, double noteThreshold, NotePeaks& notes) {
    if (notes.bandLevel[0] != 0.0f && !(peak.db > notes.bandLevel[0])) return;
    notes.bandLevel[0] = notes.octavePeakDb[0] = notes.peakDb = peak.db;
    notes.octavePeakHz[0] = notes.peakHz = peak.hz;
    notes.peakOctave = 0;
    if (peak.db >= noteThreshold) notes.octaveNote[0] = NoteNames()[0];
}

// A peak in band b: the band's, the octave's and the overall maximum.
void TakeBandPeak(const InterpolatedPeak& peak, int b, double noteThreshold, NotePeaks& notes) {
    if (notes.bandLevel[b] != 0.0f && peak.db <= notes.bandLevel[b]) return;
    notes.bandLevel[b] = peak.db;
    const int octave = std::min(b / kBandsPerOctave, kOctaveCount - 1);
    if (notes.octavePeakHz[octave] != 0.0f && peak.db <= notes.octavePeakDb[octave]) return;
    notes.octavePeakDb[octave] = peak.db;
    notes.octavePeakHz[octave] = peak.hz;
    if (b % 4 == 0) {
        if (peak.db >= noteThreshold) notes.octaveNote[octave] = NoteNames()[b / 4];
    } else {
        notes.octaveNote[octave] = nullptr;
    }
    if (peak.db > notes.peakDb) {
        notes.peakDb = peak.db;
        notes.peakHz = peak.hz;
        notes.peakOctave = octave;
    }
}

}  // namespace

void LocateNotePeaks(const float* magnitude, int lowBin, int highBin, NotePeaks& notes) {
    ResetNotePeaks(notes);
    const float gate = static_cast<float>(1.0 - kFullScaleDb);
    const double noteThreshold = 10.0 - kFullScaleDb;
    const NoteBands& bands = GetNoteBands();
    lowBin = std::max(lowBin, 1);
    highBin = std::min(highBin, kSpectrumBins - 1);

    int band = -1;  // before band 0
    int k = lowBin;
    while (k < highBin) {
        if (!(magnitude[k] > magnitude[k - 1]) || !(magnitude[k] > magnitude[k + 1])) {
            ++k;
            continue;
        }
        const InterpolatedPeak peak = InterpolatePeak(magnitude, k);
        if (peak.hz < 1.0f) {
            ++k;
            continue;
        }
        k += 2;  // the next bin cannot be a strict maximum
        if (peak.db <= gate) continue;
        if (band < 0) {
            if (peak.hz < bands.lowestEdge) continue;
            if (peak.hz < bands.bandEdge[1]) {
                TakeBandZeroPeak(peak, noteThreshold, notes);
                continue;
            }
            band = 1;
        }
        while (peak.hz >= bands.bandEdge[2 * band + 1]) {
            if (++band >= kBandCount) return;  // above the last band: the walk ends
        }
        TakeBandPeak(peak, band, noteThreshold, notes);
    }
}

}  // namespace sonotrap
