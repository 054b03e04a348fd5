#include "display/PeakSearch.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "display/LevelScale.h"
#include "display/Vec2.h"

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

// Frequency and amplitude of the peak at bin k from its neighbours: the differences and the
// sum in float, the rest in double.
struct PeakAmplitude {
    float hz;
    double amplitude;
};
inline PeakAmplitude InterpolateAmplitude(const float* magnitude, int k) {
    const float mL = magnitude[k - 1], mC = magnitude[k], mR = magnitude[k + 1];
    const float difference = mR - mL;
    const float sum = mL + mC + mR;
    const double delta = difference * 1.747 / sum;
    const float curvature = 2.0f * mC - mL - mR;
    return {static_cast<float>((k + delta) * kBinWidth), curvature * 0.5 * delta * delta + mC};
}

}  // namespace

float PlainLevel(double magnitude) {
    if (magnitude < kWeakestMagnitude) return kFloorDb;
    if (magnitude >= 1.0) return kTopDb;
    return static_cast<float>(std::log(magnitude) * kDbPerLn);
}

InterpolatedPeak InterpolatePeak(const float* magnitude, int k) {
    const PeakAmplitude peak = InterpolateAmplitude(magnitude, k);
    return {peak.hz, PlainLevel(peak.amplitude)};
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

// The walk takes every strict local maximum once, in rising order (after a maximum at k the
// next bin cannot be one, so stepping by two skips nothing). Most of them are noise, so the
// costly parts are kept for those that matter: a bit set of the maxima built without
// branches, and the logarithm only where an amplitude comparison cannot decide.
class NotePeakWalk {
public:
    NotePeakWalk(const float* magnitude, NotePeaks& notes) : magnitude_(magnitude), notes_(notes) {}

    void Run(int lowBin, int highBin) {
        MarkMaxima(lowBin, highBin);
        for (int word = lowBin / 64; word <= (highBin - 1) / 64; ++word) {
            for (uint64_t bits = maxima_[word]; bits != 0; bits &= bits - 1) {
                const int k = 64 * word + std::countr_zero(bits);
                if (!TakePeak(k)) return Settle();
            }
        }
        Settle();
    }

private:
    struct Candidate {
        float hz;
        double amplitude;
        float db;
        bool haveDb;
    };

    // Strict local maxima of lowBin .. highBin - 1 strong enough to possibly pass the gate,
    // sixteen bins at a time; the first and last word go bin by bin (bin 0 and the last bin
    // are never candidates, and their neighbours lie outside the spectrum).
    void MarkMaxima(int lowBin, int highBin) {
        for (int word = lowBin / 64; word <= (highBin - 1) / 64; ++word) {
            const int base = 64 * word;
            uint64_t bits = 0;
            if (word == 0 || base + 64 >= kSpectrumBins) {
                for (int i = 0; i < 64; ++i) bits |= static_cast<uint64_t>(IsCandidate(base + i)) << i;
            } else {
                for (int j = 0; j < 64; j += 16) {
                    const int k = base + j;
                    bits |= static_cast<uint64_t>(
                                simd::Bits16(Maxima4(k), Maxima4(k + 4), Maxima4(k + 8), Maxima4(k + 12)))
                            << j;
                }
            }
            // Only bins inside the band.
            const int first = std::max(base, lowBin) - base, end = std::min(base + 64, highBin) - base;
            const uint64_t inside = (end >= 64 ? ~uint64_t{0} : (uint64_t{1} << end) - 1) & ~((uint64_t{1} << first) - 1);
            maxima_[word] = bits & inside;
        }
    }

    // Lanes k .. k + 3 that are candidates (1 <= k, k + 4 < kSpectrumBins).
    simd::Mask4 Maxima4(int k) const {
        const float* m = magnitude_;
        const simd::Float4 c = simd::Load4(m + k);
        return (c > simd::Load4(m + k - 1)) & (c > simd::Load4(m + k + 1)) & (c >= simd::Splat4(kCandidateFloor));
    }

    bool IsCandidate(int k) const {
        if (k < 1 || k >= kSpectrumBins - 1) return false;
        const float* m = magnitude_;
        return m[k] > m[k - 1] && m[k] > m[k + 1] && m[k] >= kCandidateFloor;
    }

    float Level(Candidate& c) {
        if (!c.haveDb) c.db = PlainLevel(c.amplitude), c.haveDb = true;
        return c.db;
    }

    // True when a stored level is certainly not exceeded, judged by amplitude alone: the
    // level rule rises with the amplitude below 1.0.
    static bool CertainlyNotAbove(double amplitude, double storedAmplitude) {
        return amplitude <= storedAmplitude && storedAmplitude < kMonotoneBelow;
    }

    // False when the walk ends (above the last band).
    bool TakePeak(int k) {
        const PeakAmplitude peak = InterpolateAmplitude(magnitude_, k);
        Candidate c{peak.hz, peak.amplitude, 0.0f, false};
        if (c.hz < 1.0f || c.amplitude < kGateLow) return true;
        if (c.amplitude <= kGateHigh && Level(c) <= kGate) return true;
        const NoteBands& bands = bands_;
        if (band_ < 0) {
            if (c.hz < bands.lowestEdge) return true;
            if (c.hz < bands.bandEdge[1]) {
                TakeBandZeroPeak(c);
                return true;
            }
            band_ = 1;
        }
        if (c.hz >= bands.bandEdge[2 * band_ + 1]) {
            Settle();
            do {
                if (++band_ >= kBandCount) return false;
            } while (c.hz >= bands.bandEdge[2 * band_ + 1]);
        }
        TakeBandPeak(c);
        return true;
    }

    void TakeBandZeroPeak(Candidate& c) {
        NotePeaks& n = notes_;
        if (n.bandLevel[0] != 0.0f && (CertainlyNotAbove(c.amplitude, bandZeroAmplitude_) || !(Level(c) > n.bandLevel[0])))
            return;
        bandZeroAmplitude_ = c.amplitude;
        n.bandLevel[0] = n.octavePeakDb[0] = n.peakDb = Level(c);
        n.octavePeakHz[0] = n.peakHz = c.hz;
        n.peakOctave = 0;
        if (c.db >= kNoteThreshold) n.octaveNote[0] = NoteNames()[0];
    }

    // The cursor band's loudest peak so far. Its level is only worked out where an amplitude
    // comparison cannot decide, and once more when the band is left: only the last record of a
    // band can reach the octave and overall peaks, as every record of a band is louder than
    // the one before.
    void TakeBandPeak(Candidate& c) {
        if (haveRecord_) {
            if (CertainlyNotAbove(c.amplitude, record_.amplitude)) return;
            if (!CertainlyAbove(c.amplitude, record_.amplitude) && Level(c) <= Level(record_)) return;
        }
        record_ = c;
        haveRecord_ = true;
    }

    // True when the level rule certainly gives a higher level: a relative step of 1e-5 is
    // almost 1e-4 dB, far above a float's resolution for any level in range.
    static bool CertainlyAbove(double amplitude, double storedAmplitude) {
        return amplitude > storedAmplitude * (1.0 + 1e-5) && amplitude < kMonotoneBelow &&
               storedAmplitude >= kWeakestMagnitude;
    }

    // Enters the cursor band's record into the band, octave and overall peaks.
    void Settle() {
        if (!haveRecord_) return;
        haveRecord_ = false;
        const int b = band_;
        NotePeaks& n = notes_;
        const float level = n.bandLevel[b] = Level(record_);
        const int octave = std::min(b / kBandsPerOctave, kOctaveCount - 1);
        if (n.octavePeakHz[octave] != 0.0f && level <= n.octavePeakDb[octave]) return;
        n.octavePeakDb[octave] = level;
        n.octavePeakHz[octave] = record_.hz;
        if (b % 4 == 0) {
            if (level >= kNoteThreshold) n.octaveNote[octave] = NoteNames()[b / 4];
        } else {
            n.octaveNote[octave] = nullptr;
        }
        if (level > n.peakDb) {
            n.peakDb = level;
            n.peakHz = record_.hz;
            n.peakOctave = octave;
        }
    }

    static constexpr float kGate = static_cast<float>(1.0 - kFullScaleDb);
    static constexpr double kNoteThreshold = 10.0 - kFullScaleDb;
    // Amplitudes around the gate (about 1.7e-5): below kGateLow the level is certainly at or
    // under the gate, above kGateHigh certainly over it; between, the level is computed.
    static inline const double kGateLow = std::exp(kGate / kDbPerLn) * (1.0 - 1e-9);
    static inline const double kGateHigh = std::exp((kGate + 1e-4) / kDbPerLn);
    // An interpolated amplitude is at most about 4.05 times its bin (delta is at most 1.747).
    static inline const float kCandidateFloor = static_cast<float>(kGateLow / 4.1);
    static constexpr double kMonotoneBelow = 0.999;

    const float* magnitude_;
    NotePeaks& notes_;
    const NoteBands& bands_ = GetNoteBands();
    int band_ = -1;  // the band cursor; -1 is before band 0
    Candidate record_{};      // the cursor band's loudest peak so far (band 1 on)
    bool haveRecord_ = false;
    double bandZeroAmplitude_ = 0.0;
    uint64_t maxima_[kSpectrumBins / 64];
};

}  // namespace

void LocateNotePeaks(const float* magnitude, int lowBin, int highBin, NotePeaks& notes) {
    ResetNotePeaks(notes);
    lowBin = std::max(lowBin, 1);
    highBin = std::min(highBin, kSpectrumBins - 1);
    if (lowBin >= highBin) return;
    NotePeakWalk(magnitude, notes).Run(lowBin, highBin);
}

}  // namespace sonotrap
