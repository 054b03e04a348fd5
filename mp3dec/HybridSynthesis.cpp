#include "mp3dec/HybridSynthesis.h"

#include <algorithm>
#include <cstring>

#include "mp3dec/DecoderTables.h"
#include "mp3dec/Double4.h"
#include "mp3dec/Layer3Tables.h"

namespace sonotrap::mp3 {
namespace {

// The transforms are written for a value type T: double, or (x86) four subbands side by side
// in a vector of doubles, which runs the same operations lane by lane and so gives the same
// bits. Always inlined, so that the vector form is compiled for its caller's instruction set.
#define SONOTRAP_KERNEL inline __attribute__((always_inline))

// Three-point DFT with the positive exponent, in place on (re, im) triples.
template <class T>
SONOTRAP_KERNEL void Dft3(T* re, T* im) {
    constexpr double kHalfRoot3 = 0.86602540378443864676;
    const T sr = re[1] + re[2], si = im[1] + im[2];
    const T dr = re[1] - re[2], di = im[1] - im[2];
    const T tr = re[0] - 0.5 * sr, ti = im[0] - 0.5 * si;
    re[0] += sr;
    im[0] += si;
    re[1] = tr - kHalfRoot3 * di;
    im[1] = ti + kHalfRoot3 * dr;
    re[2] = tr + kHalfRoot3 * di;
    im[2] = ti - kHalfRoot3 * dr;
}

// y[n] = sum x[k] cos(pi / 72 (2n + 1)(2k + 1)), n, k = 0..17. With a[m] = x[2m] and
// b[m] = x[17 - 2m], Z[p] = e^(i 4p pi/72) sum_m (a[m] - i b[m]) e^(i (4m + 1) pi/72)
// e^(i 2 pi p m / 9) gives y[2p] = Re Z[p] and y[17 - 2p] = Im Z[p]; the 9-point DFT is
// done as 3 x 3.
template <class T>
SONOTRAP_KERNEL void DctIv18(const DecoderTables& t, const T* x, T* y) {
    T re[3][3], im[3][3];  // [m2][m1], later [m2][p1]; whole loops unrolled keep them in registers
#pragma GCC unroll 9
    for (int m = 0; m < 9; ++m) {
        const T a = x[2 * m], b = -x[17 - 2 * m];
        const double c = t.dct18Pre[m][0], s = t.dct18Pre[m][1];
        re[m % 3][m / 3] = a * c - b * s;
        im[m % 3][m / 3] = a * s + b * c;
    }
#pragma GCC unroll 3
    for (int m2 = 0; m2 < 3; ++m2) {
        Dft3(re[m2], im[m2]);
#pragma GCC unroll 2
        for (int p1 = 1; p1 < 3 && m2 > 0; ++p1) {
            const double c = t.dct18Twiddle[m2][p1][0], s = t.dct18Twiddle[m2][p1][1];
            const T r = re[m2][p1], i = im[m2][p1];
            re[m2][p1] = r * c - i * s;
            im[m2][p1] = r * s + i * c;
        }
    }
#pragma GCC unroll 3
    for (int p1 = 0; p1 < 3; ++p1) {
        T r[3] = {re[0][p1], re[1][p1], re[2][p1]};
        T i[3] = {im[0][p1], im[1][p1], im[2][p1]};
        Dft3(r, i);
#pragma GCC unroll 3
        for (int p2 = 0; p2 < 3; ++p2) {
            const int p = p1 + 3 * p2;
            const double c = t.dct18Post[p][0], s = t.dct18Post[p][1];
            y[2 * p] = r[p2] * c - i[p2] * s;
            y[17 - 2 * p] = r[p2] * s + i[p2] * c;
        }
    }
}

// 36-point IMDCT through the 18-point DCT-IV: x[i] = Y[i + 9], -Y[26 - i], -Y[i - 27].
// `overlap` points at the subband's first value (stride 32).
void LongImdct(const DecoderTables& t, const double* in, const double* window, double* overlap,
               double out[18][32], int sb) {
    double y[18];
    DctIv18(t, in, y);
    double x[36];
    for (int i = 0; i < 9; ++i) x[i] = y[i + 9];
    for (int i = 9; i < 27; ++i) x[i] = -y[26 - i];
    for (int i = 27; i < 36; ++i) x[i] = -y[i - 27];
    for (int i = 0; i < 18; ++i) {
        out[i][sb] = x[i] * window[i] + overlap[32 * i];
        overlap[32 * i] = x[i + 18] * window[i + 18];
    }
}

#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
// LongImdct for the four subbands from sb (a multiple of four) with AVX2, chosen at run time.
// Partial: only the first `lanes` subbands carry data; the others replay their overlap and
// clear it, as subbands without data do.
template <bool kPartial>
__attribute__((target("avx2"))) void LongImdct4(const DecoderTables& t, const double* in,
                                                const double (*window)[4], double* overlap,
                                                double out[18][32], int sb, int64_t lanes) {
    Double4 lanes4[18], y[18];
    for (int k = 0; k < 16; k += 4) {
        const Double4 rows[4] = {Load4(in + k), Load4(in + 18 + k), Load4(in + 36 + k), Load4(in + 54 + k)};
        Transpose4(rows, lanes4 + k);
    }
    for (int k = 16; k < 18; ++k) lanes4[k] = Double4{in[k], in[18 + k], in[36 + k], in[54 + k]};
    DctIv18(t, lanes4, y);
    using Mask4 = int64_t __attribute__((vector_size(32)));
    const Mask4 live = Mask4{0, 1, 2, 3} < Mask4{lanes, lanes, lanes, lanes};
#pragma GCC unroll 18
    for (int i = 0; i < 18; ++i) {
        const Double4 early = i < 9 ? y[i + 9] : -y[26 - i];  // x[i]
        const Double4 late = i < 9 ? -y[8 - i] : -y[i - 9];   // x[i + 18]
        const Double4 previous = Load4(overlap + 32 * i);
        Double4 sum = early * Load4(window[i]) + previous, next = late * Load4(window[i + 18]);
        if constexpr (kPartial) {
            sum = live ? sum : previous;
            next = live ? next : Double4{0, 0, 0, 0};
        }
        Store4(&out[i][sb], sum);
        Store4(overlap + 32 * i, next);
    }
}

// Subbands from sb (a multiple of four) to 32 without data, with AVX2: the overlap goes out
// and is cleared.
__attribute__((target("avx2"))) void ReplayOverlapAvx2(double* overlap, double out[18][32], uint32_t sb) {
    for (; sb < 32; sb += 4)
        for (int i = 0; i < 18; ++i) {
            Store4(&out[i][sb], Load4(overlap + 32 * i + sb));
            Store4(overlap + 32 * i + sb, Double4{0, 0, 0, 0});
        }
}

// The butterflies of boundaries 1..last with AVX2 (chosen at run time), four lines of a side
// at once; returns the boundary to go on from.
__attribute__((target("avx2"))) uint32_t AntialiasAvx2(const DecoderTables& t, double* xr, uint32_t last) {
    const Double4 cs[2] = {Load4(t.antialiasCs), Load4(t.antialiasCs + 4)};
    const Double4 ca[2] = {Load4(t.antialiasCa), Load4(t.antialiasCa + 4)};
    for (uint32_t sb = 1; sb <= last; ++sb) {
        for (int half = 0; half < 2; ++half) {
            double* below = xr + 18 * sb - 4 - 4 * half;  // lines i = 4 half .. 4 half + 3 below, downwards
            double* above = xr + 18 * sb + 4 * half;
            const Double4 down = Load4(below);
            const Double4 a = __builtin_shufflevector(down, down, 3, 2, 1, 0), b = Load4(above);
            const Double4 newBelow = a * cs[half] - b * ca[half];
            Store4(below, __builtin_shufflevector(newBelow, newBelow, 3, 2, 1, 0));
            Store4(above, b * cs[half] + a * ca[half]);
        }
    }
    return last + 1;
}
#endif

// Three 12-point IMDCTs (6-point DCT-IV each) placed at 6, 12 and 18 of the 36 samples.
void ShortImdct(const DecoderTables& t, const double* xr, const uint16_t* lineIndex,
                const double* window, double* overlap, double out[18][32], int sb) {
    double z[36] = {};
    for (int w = 0; w < 3; ++w) {
        double in[6], y[6];
        for (int k = 0; k < 6; ++k) in[k] = xr[lineIndex[sb * 18 + w * 6 + k]];
        for (int n = 0; n < 6; ++n) {
            double s = 0.0;
            for (int k = 0; k < 6; ++k) s += in[k] * t.imdct12[n][k];
            y[n] = s;
        }
        double x[12];
        for (int i = 0; i < 3; ++i) x[i] = y[i + 3];
        for (int i = 3; i < 9; ++i) x[i] = -y[8 - i];
        for (int i = 9; i < 12; ++i) x[i] = -y[i - 9];
        for (int i = 0; i < 12; ++i) z[6 + 6 * w + i] += x[i] * window[i];
    }
    for (int i = 0; i < 18; ++i) {
        out[i][sb] = z[i] + overlap[32 * i];
        overlap[32 * i] = z[i + 18];
    }
}

// Subbands that hold a non-zero line; short-block lines are in bitstream order.
uint32_t UsedSubbands(const ChannelGranule& ch, bool isShort, bool mixed, int sf) {
    const uint32_t end = ch.nonzeroEnd;
    if (!isShort || (mixed && end <= 36)) return std::min<uint32_t>(32, (end + 17) / 18);
    const uint16_t* start = kShortBandStart[sf];
    int b = 0;
    while (b < 12 && 3u * start[b + 1] < end) ++b;
    return std::min<uint32_t>(32, (start[b + 1] + 5) / 6);
}

}  // namespace

uint32_t Antialias(ChannelGranule& ch, const GranuleInfo& g, int sf) {
    const DecoderTables& t = Tables();
    const bool isShort = g.window_switching && g.block_type == 2;
    const uint32_t used = UsedSubbands(ch, isShort, g.mixed_block_flag != 0, sf);
    if (isShort && !g.mixed_block_flag) return used;
    const uint32_t lastBoundary = isShort ? std::min<uint32_t>(1, used) : std::min<uint32_t>(31, used);
    double* xr = ch.xr;
    uint32_t sb = 1;
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
    if (t.avx2) sb = AntialiasAvx2(t, xr, lastBoundary);
#endif
    for (; sb <= lastBoundary; ++sb) {
        double* below = xr + 18 * sb - 1;
        double* above = xr + 18 * sb;
        for (int i = 0; i < 8; ++i) {
            const double a = below[-i], b = above[i];
            below[-i] = a * t.antialiasCs[i] - b * t.antialiasCa[i];
            above[i] = b * t.antialiasCs[i] + a * t.antialiasCa[i];
        }
    }
    return std::min<uint32_t>(32, std::max(used, lastBoundary + 1));
}

void HybridSynthesis(const ChannelGranule& ch, const GranuleInfo& g, int sf, uint32_t subbands,
                     double* overlap, double out[18][32]) {
    const DecoderTables& t = Tables();
    const bool isShort = g.window_switching && g.block_type == 2;
    const uint32_t blockType = g.window_switching ? g.block_type : 0;
    const bool mixed = g.window_switching && g.mixed_block_flag;
    uint32_t sb = 0;
    while (sb < subbands) {
        const bool odd = sb & 1;
        double* o = overlap + sb;
        // With the mixed flag, subbands 0 and 1 take the normal long window whatever the
        // block type (start and stop blocks included), as the reference streams expect.
        const bool lowMixed = mixed && sb < 2;
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
        if (t.avx2 && !isShort && sb % 4 == 0 && !(mixed && sb == 0)) {
            const auto lanes = static_cast<int64_t>(subbands - sb);
            if (lanes >= 4)
                LongImdct4<false>(t, ch.xr + 18 * sb, t.windowLanes[blockType], o, out, static_cast<int>(sb), 4);
            else
                LongImdct4<true>(t, ch.xr + 18 * sb, t.windowLanes[blockType], o, out, static_cast<int>(sb), lanes);
            sb += 4;
            continue;
        }
#endif
        if (isShort && !lowMixed) {
            ShortImdct(t, ch.xr, t.shortLineIndex[sf], odd ? t.windowOdd[2] : t.window[2], o, out, sb);
        } else {
            const uint32_t type = lowMixed ? 0 : blockType;
            LongImdct(t, ch.xr + 18 * sb, odd ? t.windowOdd[type] : t.window[type], o, out, sb);
        }
        ++sb;
    }
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
    if (t.avx2 && sb % 4 == 0) return ReplayOverlapAvx2(overlap, out, sb);
#endif
    for (; sb < 32; ++sb) {
        for (int i = 0; i < 18; ++i) {
            out[i][sb] = overlap[32 * i + sb];
            overlap[32 * i + sb] = 0.0;
        }
    }
}

}  // namespace sonotrap::mp3
