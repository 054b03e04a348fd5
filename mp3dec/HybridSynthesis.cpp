#include "mp3dec/HybridSynthesis.h"

#include <algorithm>

#include "mp3dec/DecoderTables.h"
#include "mp3dec/Layer3Tables.h"

namespace sonotrap::mp3 {
namespace {

// 36-point IMDCT through an 18-point DCT-IV: x[i] = Y[i + 9], -Y[26 - i], -Y[i - 27].
void LongImdct(const DecoderTables& t, const double* in, const double* window, double* overlap,
               double out[18][32], int sb) {
    double y[18];
    for (int n = 0; n < 18; ++n) {
        const double* c = t.imdct36[n];
        double s = 0.0;
        for (int k = 0; k < 18; ++k) s += in[k] * c[k];
        y[n] = s;
    }
    double x[36];
    for (int i = 0; i < 9; ++i) x[i] = y[i + 9];
    for (int i = 9; i < 27; ++i) x[i] = -y[26 - i];
    for (int i = 27; i < 36; ++i) x[i] = -y[i - 27];
    for (int i = 0; i < 18; ++i) {
        out[i][sb] = x[i] * window[i] + overlap[i];
        overlap[i] = x[i + 18] * window[i + 18];
    }
}

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
        out[i][sb] = z[i] + overlap[i];
        overlap[i] = z[i + 18];
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
    for (uint32_t sb = 1; sb <= lastBoundary; ++sb) {
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
    for (uint32_t sb = 0; sb < subbands; ++sb) {
        const bool odd = sb & 1;
        double* o = overlap + 18 * sb;
        // With the mixed flag, subbands 0 and 1 take the normal long window whatever the
        // block type (start and stop blocks included), as the reference streams expect.
        const bool lowMixed = g.window_switching && g.mixed_block_flag && sb < 2;
        if (isShort && !lowMixed) {
            ShortImdct(t, ch.xr, t.shortLineIndex[sf], odd ? t.windowOdd[2] : t.window[2], o, out, sb);
        } else {
            const uint32_t type = lowMixed ? 0 : blockType;
            LongImdct(t, ch.xr + 18 * sb, odd ? t.windowOdd[type] : t.window[type], o, out, sb);
        }
    }
    for (uint32_t sb = subbands; sb < 32; ++sb) {
        double* o = overlap + 18 * sb;
        for (int i = 0; i < 18; ++i) {
            out[i][sb] = o[i];
            o[i] = 0.0;
        }
    }
}

}  // namespace sonotrap::mp3
