#include <algorithm>

#include "mp3dec/DecoderTables.h"
#include "mp3dec/Double4.h"
#include "mp3dec/Layer3Granule.h"
#include "mp3dec/Layer3Tables.h"

namespace sonotrap::mp3 {
namespace {

constexpr uint32_t kMixedLongLines = 36;
constexpr uint32_t kNoIllegalPosition = 255;

// Left/right factors for one band, or nullptr when the position is the illegal one.
struct IntensityRule {
    bool lsf;
    bool middleSide;
    uint32_t intensityScale;

    const double* Factors(uint32_t position, uint32_t illegal) const {
        const DecoderTables& t = Tables();
        if (lsf) {
            if (position == illegal || position > 31) return nullptr;
            return t.intensityMpeg2[middleSide][intensityScale][position];
        }
        if (position >= 7) return nullptr;
        return t.intensityMpeg1[middleSide][position];
    }
};

void ApplyIntensity(double* left, double* right, uint32_t from, uint32_t to, const double* f) {
    for (uint32_t i = from; i < to; ++i) {
        const double v = left[i];
        left[i] = v * f[0];
        right[i] = v * f[1];
    }
}

// The factors of band b of a region that starts at band `first`. The top band has no scale
// factor: it repeats the position of the band below when that band is in the region too,
// and is otherwise at position 0 (as the reference streams are coded).
template <size_t Bands>
const double* BandFactors(const IntensityRule& rule, const uint8_t (&positions)[Bands],
                          const uint8_t (&illegal)[Bands], int b, int first) {
    const int top = static_cast<int>(Bands) - 1;
    if (b < top) return rule.Factors(positions[b], illegal[b]);
    if (b > first) return rule.Factors(positions[b - 1], illegal[b - 1]);
    return rule.Factors(0, kNoIllegalPosition);
}

template <size_t Bands>
const double* BandFactors(const IntensityRule& rule, const uint8_t (&positions)[Bands][3],
                          const uint8_t (&illegal)[Bands][3], int b, int first, int w) {
    const int top = static_cast<int>(Bands) - 1;
    if (b < top) return rule.Factors(positions[b][w], illegal[b][w]);
    if (b > first) return rule.Factors(positions[b - 1][w], illegal[b - 1][w]);
    return rule.Factors(0, kNoIllegalPosition);
}

// Long bands from `firstBand` up to (not including) `bandEnd`; bands without a scale factor
// take the position of the band below.
void IntensityLong(ChannelGranule& l, ChannelGranule& r, const IntensityRule& rule, int sf,
                   int firstBand, int bandEnd) {
    const uint16_t* start = kLongBandStart[sf];
    for (int b = firstBand; b < bandEnd; ++b) {
        const double* f = BandFactors(rule, r.scalefacLong, r.illegalLong, b, firstBand);
        if (f) ApplyIntensity(l.xr, r.xr, start[b], start[b + 1], f);
    }
}

// Per window, the first band above the right channel's last non-zero band (searched before
// middle/side processing changes the right channel).
void ShortRegionStarts(const ChannelGranule& r, int sf, int firstBand, int begin[3]) {
    const uint16_t* start = kShortBandStart[sf];
    for (int w = 0; w < 3; ++w) {
        begin[w] = firstBand;
        for (int b = 12; b >= firstBand; --b) {
            const uint32_t width = start[b + 1] - start[b];
            const double* line = r.xr + 3 * start[b] + w * width;
            if (std::any_of(line, line + width, [](double v) { return v != 0.0; })) {
                begin[w] = b + 1;
                break;
            }
        }
    }
}

void IntensityShort(ChannelGranule& l, ChannelGranule& r, const IntensityRule& rule, int sf,
                    const int begin[3]) {
    const uint16_t* start = kShortBandStart[sf];
    for (int w = 0; w < 3; ++w) {
        for (int b = begin[w]; b < 13; ++b) {
            const double* f = BandFactors(rule, r.scalefacShort, r.illegalShort, b, begin[w], w);
            const uint32_t width = start[b + 1] - start[b];
            const uint32_t from = 3 * start[b] + w * width;
            if (f) ApplyIntensity(l.xr, r.xr, from, from + width, f);
        }
    }
}

#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
// Middle/side to left/right with AVX2 (chosen at run time) on whole groups of four lines
// below `end`; returns where the rest starts.
__attribute__((target("avx2"))) uint32_t MiddleSideAvx2(double* left, double* right, uint32_t end) {
    uint32_t i = 0;
    for (; i + 4 <= end; i += 4) {
        const Double4 a = Load4(left + i), b = Load4(right + i);
        Store4(left + i, a + b);
        Store4(right + i, a - b);
    }
    return i;
}
#endif

int LongBandAbove(int sf, uint32_t nonzeroEnd) {
    if (nonzeroEnd == 0) return 0;
    int b = 0;
    while (b < 21 && kLongBandStart[sf][b + 1] < nonzeroEnd) ++b;
    return b + 1;
}

}  // namespace

void ProcessStereo(ChannelGranule& l, ChannelGranule& r, const GranuleInfo& g,
                   const FrameShape& shape, uint32_t modeExtension) {
    const bool middleSide = (modeExtension & 2) != 0;
    const bool intensity = (modeExtension & 1) != 0;
    const uint32_t rightEnd = r.nonzeroEnd;
    uint32_t end = std::max(l.nonzeroEnd, r.nonzeroEnd);
    const int sf = static_cast<int>(shape.samplingFrequency);
    const bool isShort = g.window_switching && g.block_type == 2;
    int shortBegin[3] = {13, 13, 13};
    if (intensity && isShort) ShortRegionStarts(r, sf, g.mixed_block_flag ? 3 : 0, shortBegin);
    if (middleSide) {
        uint32_t i = 0;
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
        if (Tables().avx2) i = MiddleSideAvx2(l.xr, r.xr, end);
#endif
        for (; i < end; ++i) {
            const double a = l.xr[i], b = r.xr[i];
            l.xr[i] = a + b;
            r.xr[i] = a - b;
        }
    }
    if (intensity) {
        const IntensityRule rule{shape.lsf != 0, middleSide, g.scalefac_compress & 1};
        if (isShort) {
            IntensityShort(l, r, rule, sf, shortBegin);
            // A mixed block whose short part is all intensity continues into its long part.
            const int highest = std::max({shortBegin[0], shortBegin[1], shortBegin[2]});
            if (g.mixed_block_flag && highest <= 3) {
                int longBands = 0;
                while (kLongBandStart[sf][longBands + 1] <= kMixedLongLines) ++longBands;
                IntensityLong(l, r, rule, sf, LongBandAbove(sf, std::min(rightEnd, kMixedLongLines)),
                              longBands);
            }
        } else {
            IntensityLong(l, r, rule, sf, LongBandAbove(sf, rightEnd), 22);
        }
        end = std::max(end, l.nonzeroEnd);
    }
    l.nonzeroEnd = r.nonzeroEnd = end;
}

}  // namespace sonotrap::mp3
