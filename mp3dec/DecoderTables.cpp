#include "mp3dec/DecoderTables.h"

#include <cmath>
#include <memory>
#include <algorithm>
#include <bit>

#include "mp3dec/HuffmanTables.h"
#include "mp3dec/Layer3Tables.h"
#include "mp3dec/Mp3Decoder.h"
#include "mp3dec/PolyphaseSynthesis.h"

namespace sonotrap::mp3 {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Index bits of a look-up level at most: the root resolves nearly every code of the tables
// at once and stays small enough to keep the few tables in use in the first-level cache.
constexpr uint32_t kLevelBits = 10;

struct Symbol {
    uint32_t length, code, leaf;  // the leaf entry (HuffmanLookup)
};

// Builds one level of a look-up table for symbols sharing their first `depth` bits; returns
// the level's index bits. Entries may move (the vector grows), so only offsets are kept.
// `spare` more bits than the longest code asks for (up to the limit) leave room for signs.
uint32_t BuildLevel(std::vector<uint32_t>& entries, const std::vector<Symbol>& symbols,
                    uint32_t depth, size_t& base, uint32_t spare = 0) {
    uint32_t longest = 0;
    for (const Symbol& s : symbols) longest = std::max(longest, s.length - depth);
    const uint32_t bits = std::min(longest + spare, kLevelBits);
    base = entries.size();
    entries.resize(base + (size_t{1} << bits), 0);
    std::vector<std::vector<Symbol>> groups(size_t{1} << bits);
    for (const Symbol& s : symbols) {
        const uint32_t remaining = s.length - depth;
        const uint32_t suffix = s.code & ((1u << remaining) - 1);
        if (remaining <= bits) {
            const uint32_t first = suffix << (bits - remaining);
            for (uint32_t i = 0; i < (1u << (bits - remaining)); ++i) entries[base + first + i] = s.leaf;
        } else {
            groups[suffix >> (remaining - bits)].push_back(s);
        }
    }
    for (uint32_t g = 0; g < (1u << bits); ++g) {
        if (groups[g].empty()) continue;
        size_t subBase = 0;
        const uint32_t subBits = BuildLevel(entries, groups[g], depth + bits, subBase);
        entries[base + g] = HuffmanLookup::kSubtableFlag | ((depth + bits) << 21) |
                            (subBits << 16) | static_cast<uint32_t>(subBase);
    }
    return bits;
}

HuffmanLookup BuildLookup(const std::vector<Symbol>& symbols, uint32_t spare) {
    HuffmanLookup lookup;
    size_t base = 0;
    lookup.rootBits = BuildLevel(lookup.entries, symbols, 0, base, spare);
    return lookup;
}

// Root leaves whose sign bits are in the index too take the signed values (tables without
// linbits, whose pairs end with their signs).
void ResolveSigns(HuffmanLookup& lookup) {
    const uint32_t rootBits = lookup.rootBits;
    for (uint32_t index = 0; index < (1u << rootBits); ++index) {
        const uint32_t e = lookup.entries[index];
        const uint32_t bits = e & 63;
        if ((e & HuffmanLookup::kSubtableFlag) || bits > rootBits) continue;
        uint32_t next = rootBits - ((e >> 6) & 31);  // index bits after the code
        const auto signedIndex = [&](uint32_t v) {
            return v == 0 ? 15 : ((index >> --next) & 1) ? 15 - v : 15 + v;
        };
        const uint32_t x = signedIndex((e >> 11) & 15);
        const uint32_t y = signedIndex((e >> 15) & 15);
        lookup.entries[index] = HuffmanLookup::kSignsResolved | bits | (x << 6) | (y << 11);
    }
}

// A leaf: `bits` taken (code and signs), the code length, two 4-bit values and the escapes.
uint32_t Leaf(uint32_t bits, uint32_t length, uint32_t x, uint32_t y, uint32_t escapes) {
    return bits | (length << 6) | (x << 11) | (y << 15) | (escapes << 19);
}

void BuildHuffman(DecoderTables& t) {
    for (int i = 0; i < 32; ++i) {
        const HuffmanTableInfo& info = kBigValueTables[i];
        if (info.codes == nullptr) continue;
        const bool escapes = info.linbits != 0;
        std::vector<Symbol> symbols;
        for (uint32_t x = 0; x < info.xlen; ++x)
            for (uint32_t y = 0; y < info.ylen; ++y) {
                const HuffmanCode& c = info.codes[x * info.ylen + y];
                const uint32_t signs = (x != 0) + (y != 0);
                const uint32_t fifteens = escapes ? (x == 15) + (y == 15) : 0;
                symbols.push_back({c.length, c.code, Leaf(c.length + signs, c.length, x, y, fifteens)});
            }
        t.bigValues[i] = BuildLookup(symbols, escapes ? 0 : 2);
        if (!escapes) ResolveSigns(t.bigValues[i]);
    }
    for (int q = 0; q < 81; ++q)
        for (int k = 0, digits = q; k < 4; ++k, digits /= 3)
            t.quadrupleValues[q][k] = digits % 3 == 2 ? -1.0 : digits % 3;
    constexpr uint32_t kBits = DecoderTables::kCount1Bits;
    for (int i = 0; i < 2; ++i)
        for (uint32_t v = 0; v < 16; ++v) {
            const HuffmanCode& c = kCount1Codes[i][v];
            const auto signs = static_cast<uint32_t>(std::popcount(v));
            for (uint32_t s = 0; s < (1u << signs); ++s) {
                // The values in base 3 (1 for 1, 2 for -1), line 0 lowest; s holds the signs
                // of the non-zero values in stream order.
                uint32_t q = 0, weight = 1, next = signs;
                for (int k = 0; k < 4; ++k, weight *= 3)
                    if ((v >> (3 - k)) & 1) q += weight * (((s >> --next) & 1) + 1);
                const uint32_t length = c.length + signs;
                const uint32_t first = ((c.code << signs) | s) << (kBits - length);
                for (uint32_t j = 0; j < (1u << (kBits - length)); ++j) t.count1[i][first + j] = (q << 4) | length;
            }
        }
    for (auto& table : t.count1)
        for (uint32_t index = 0; index < (1u << kBits); ++index) {
            const uint32_t length = table[index] & 15;
            const uint32_t next = table[(index << length) & ((1u << kBits) - 1)] & 0xFFFF;
            if ((next & 15) <= kBits - length) table[index] |= next << 16;
        }
}

void BuildWindows(DecoderTables& t) {
    for (int i = 0; i < 36; ++i) {
        const double longWindow = std::sin(kPi / 36 * (i + 0.5));
        t.window[0][i] = longWindow;
        t.window[1][i] = i < 18 ? longWindow
                         : i < 24 ? 1.0
                         : i < 30 ? std::sin(kPi / 12 * (i - 18 + 0.5))
                                  : 0.0;
        t.window[3][i] = i < 6    ? 0.0
                         : i < 12 ? std::sin(kPi / 12 * (i - 6 + 0.5))
                         : i < 18 ? 1.0
                                  : longWindow;
        t.window[2][i] = i < 12 ? std::sin(kPi / 12 * (i + 0.5)) : 0.0;
    }
    for (int type = 0; type < 4; ++type)
        for (int i = 0; i < 36; ++i)
            t.windowOdd[type][i] = (i & 1) ? -t.window[type][i] : t.window[type][i];
    for (int type = 0; type < 4; ++type)
        for (int i = 0; i < 36; ++i)
            for (int lane = 0; lane < 4; ++lane)
                t.windowLanes[type][i][lane] = lane & 1 ? t.windowOdd[type][i] : t.window[type][i];
    for (int m = 0; m < 9; ++m) {
        t.dct18Pre[m][0] = std::cos(kPi * (4 * m + 1) / 72);
        t.dct18Pre[m][1] = std::sin(kPi * (4 * m + 1) / 72);
        t.dct18Post[m][0] = std::cos(kPi * 4 * m / 72);
        t.dct18Post[m][1] = std::sin(kPi * 4 * m / 72);
    }
    for (int m2 = 0; m2 < 3; ++m2)
        for (int p1 = 0; p1 < 3; ++p1) {
            t.dct18Twiddle[m2][p1][0] = std::cos(2 * kPi * p1 * m2 / 9);
            t.dct18Twiddle[m2][p1][1] = std::sin(2 * kPi * p1 * m2 / 9);
        }
    for (int n = 0; n < 6; ++n)
        for (int k = 0; k < 6; ++k)
            t.imdct12[n][k] = std::cos(kPi / 24 * (2 * n + 1) * (2 * k + 1));
    static const double kAntialias[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142,
                                         -0.0037};
    for (int i = 0; i < 8; ++i) {
        const double root = std::sqrt(1.0 + kAntialias[i] * kAntialias[i]);
        t.antialiasCs[i] = 1.0 / root;
        t.antialiasCa[i] = kAntialias[i] / root;
    }
}

void BuildIntensity(DecoderTables& t) {
    for (int ms = 0; ms < 2; ++ms) {
        const double boost = ms ? std::sqrt(2.0) : 1.0;
        for (int pos = 0; pos < 16; ++pos) {
            // Positions 7 and above are illegal in MPEG-1 and never applied.
            const double ratio = pos < 7 ? std::tan(pos * kPi / 12) : 0.0;
            t.intensityMpeg1[ms][pos][0] = boost * ratio / (1 + ratio);
            t.intensityMpeg1[ms][pos][1] = boost / (1 + ratio);
        }
        for (int scale = 0; scale < 2; ++scale) {
            const double base = std::pow(2.0, -(scale + 1) / 4.0);
            for (int pos = 0; pos < 32; ++pos) {
                double left = 1.0, right = 1.0;
                if (pos & 1)
                    left = std::pow(base, (pos + 1) / 2);
                else if (pos != 0)
                    right = std::pow(base, pos / 2);
                t.intensityMpeg2[ms][scale][pos][0] = boost * left;
                t.intensityMpeg2[ms][scale][pos][1] = boost * right;
            }
        }
    }
}

void BuildShortLineIndex(DecoderTables& t) {
    for (int sf = 0; sf < 6; ++sf) {
        const uint16_t* start = kShortBandStart[sf];
        for (int r = 0; r < 576; ++r) {
            const int sb = r / 18, w = (r % 18) / 6, k = r % 6;
            const int line = sb * 6 + k;
            int band = 0;
            while (band < 12 && start[band + 1] <= line) ++band;
            const int width = start[band + 1] - start[band];
            t.shortLineIndex[sf][r] =
                static_cast<uint16_t>(3 * start[band] + w * width + (line - start[band]));
        }
    }
}

void BuildLsfLayouts(DecoderTables& t) {
    for (int sfc = 0; sfc < 512; ++sfc) {
        LsfLayout& n = t.lsfLayout[0][sfc];
        n = {};
        if (sfc < 400) {
            n = {{uint8_t((sfc >> 4) / 5), uint8_t((sfc >> 4) % 5), uint8_t((sfc % 16) >> 2),
                  uint8_t(sfc % 4)}, 0, 0};
        } else if (sfc < 500) {
            const int v = sfc - 400;
            n = {{uint8_t((v >> 2) / 5), uint8_t((v >> 2) % 5), uint8_t(v % 4), 0}, 1, 0};
        } else {
            const int v = sfc - 500;
            n = {{uint8_t(v / 3), uint8_t(v % 3), 0, 0}, 2, 1};
        }
        const int isc = sfc >> 1;
        LsfLayout& i = t.lsfLayout[1][sfc];
        if (isc < 180) {
            i = {{uint8_t(isc / 36), uint8_t((isc % 36) / 6), uint8_t((isc % 36) % 6), 0}, 3, 0};
        } else if (isc < 244) {
            const int v = isc - 180;
            i = {{uint8_t((v % 64) >> 4), uint8_t((v % 16) >> 2), uint8_t(v % 4), 0}, 4, 0};
        } else {
            const int v = isc - 244;
            i = {{uint8_t(v / 3), uint8_t(v % 3), 0, 0}, 5, 0};
        }
    }
}

void BuildSynthesis(DecoderTables& t) {
    for (int s = 0; s < 5; ++s)
        for (int k = 0; k < (16 >> s); ++k)
            t.dctFactor[s][k] = 1.0 / (2.0 * std::cos(kPi * (2 * k + 1) / (64 >> s)));
    const double scale = kSynthesisScale;
    const double* d = kSynthesisWindowD;
    for (int h = 0; h < 16; ++h)
        for (int j = 0; j < 20; ++j) {
            t.synthesisWindow[h][j] = j <= 16 ? d[j + 32 * h] * scale : 0.0;
            // Output 32 - j reads the same values: a mirrors with a sign, b without.
            const bool mirrored = j >= 1 && j <= 15;
            t.synthesisWindowMirror[h][j] =
                mirrored ? (h % 2 ? 1.0 : -1.0) * d[32 - j + 32 * h] * scale : 0.0;
        }
}

std::unique_ptr<DecoderTables> BuildTables() {
    auto t = std::make_unique<DecoderTables>();
    for (int i = DecoderTables::kGainMin; i <= DecoderTables::kGainMax; ++i)
        t->gainPow[i + DecoderTables::kGainOffset] = std::pow(2.0, -0.25 * (i + 210));
    for (int n = 0; n < 8207; ++n) t->pow43[n] = std::pow(static_cast<double>(n), 4.0 / 3.0);
    for (int i = 0; i < 31; ++i) t->pow43Signed[i] = i < 15 ? -t->pow43[15 - i] : t->pow43[i - 15];
    BuildHuffman(*t);
    BuildWindows(*t);
    BuildIntensity(*t);
    BuildShortLineIndex(*t);
    BuildLsfLayouts(*t);
    BuildSynthesis(*t);
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
    t->avx2 = __builtin_cpu_supports("avx2");
#endif
    return t;
}

}  // namespace

const DecoderTables& Tables() {
    static const std::unique_ptr<DecoderTables> tables = BuildTables();  // built once, thread-safe
    return *tables;
}

}  // namespace sonotrap::mp3

namespace sonotrap {
void InitDecoderTables() { mp3::Tables(); }
}  // namespace sonotrap
