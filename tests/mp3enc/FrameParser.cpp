#include "FrameParser.h"

#include <map>
#include <utility>

#include "mp3enc/HuffmanTables.h"

namespace sonotrap::enctest {
namespace {

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Get(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 1) | Bit();
        return v;
    }
    uint32_t Bit() {
        const size_t byte = pos_ >> 3;
        const uint32_t b = byte < size_ ? (data_[byte] >> (7 - (pos_ & 7))) & 1 : 0;
        ++pos_;
        return b;
    }
    size_t Pos() const { return pos_; }
    void Seek(size_t pos) { pos_ = pos; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// (length, code) -> entry index, per table, for bit-by-bit decoding.
using CodeMap = std::map<std::pair<int, uint32_t>, int>;

const CodeMap& Codes(int table) {
    static std::map<int, CodeMap> maps;
    auto [it, fresh] = maps.try_emplace(table);
    if (fresh) {
        const mp3enc::HuffmanTable& h = mp3enc::kHuffmanTables[table];
        for (int i = 0; i < h.xDim * h.yDim; ++i) it->second[{h.lengths[i], h.codes[i]}] = i;
    }
    return it->second;
}

// Decodes one symbol; -1 when more than limit bits would be needed.
int DecodeSymbol(BitReader& in, int table, size_t limit) {
    const CodeMap& codes = Codes(table);
    uint32_t code = 0;
    for (int len = 1; len <= 19; ++len) {
        if (in.Pos() >= limit) return -1;
        code = (code << 1) | in.Bit();
        auto it = codes.find({len, code});
        if (it != codes.end()) return it->second;
    }
    return -1;
}

int SignedValue(BitReader& in, int magnitude, int linbits) {
    if (linbits > 0 && magnitude == 15) magnitude += static_cast<int>(in.Get(linbits));
    if (magnitude != 0 && in.Bit()) magnitude = -magnitude;
    return magnitude;
}

void ReadSideInfo(BitReader& in, mp3enc::GranuleInfo& g) {
    g.part23Length = static_cast<int>(in.Get(12));
    g.bigValues = static_cast<int>(in.Get(9));
    g.globalGain = static_cast<int>(in.Get(8));
    g.scalefacCompress = static_cast<int>(in.Get(4));
    in.Get(1);  // window switching
    for (int& t : g.tableSelect) t = static_cast<int>(in.Get(5));
    g.region0Count = static_cast<int>(in.Get(4));
    g.region1Count = static_cast<int>(in.Get(3));
    g.preflag = static_cast<int>(in.Get(1));
    g.scalefacScale = static_cast<int>(in.Get(1));
    g.count1TableSelect = static_cast<int>(in.Get(1));
}

void ReadMainData(BitReader& in, ParsedGranule& pg) {
    static constexpr int kBands[23] = {0,   4,   8,   12,  16,  20,  24,  30,  36,  44,  54, 66,
                                       82,  102, 126, 156, 194, 240, 296, 364, 448, 550, 576};
    const mp3enc::GranuleInfo& g = pg.side;
    const size_t start = in.Pos();
    const size_t end = start + static_cast<size_t>(g.part23Length);
    const int e = 2 * g.bigValues;
    const int r1 = kBands[g.region0Count + 1];
    const int r2 = kBands[g.region0Count + g.region1Count + 2];
    for (int i = 0; i < e && i < 576; i += 2) {
        const int table = g.tableSelect[i < r1 ? 0 : (i < r2 ? 1 : 2)];
        if (table == 0) continue;
        const mp3enc::HuffmanTable& h = mp3enc::kHuffmanTables[table];
        const int s = DecodeSymbol(in, table, end);
        if (s < 0) {
            pg.cleanEnd = false;
            return;
        }
        pg.values[i] = SignedValue(in, s / h.yDim, h.linbits);
        pg.values[i + 1] = SignedValue(in, s % h.yDim, h.linbits);
    }
    const int quadTable = g.count1TableSelect ? mp3enc::kCount1TableB : mp3enc::kCount1TableA;
    int line = e;
    pg.codedBits = static_cast<int>(in.Pos() - start);
    while (in.Pos() < end && line < 576) {
        const int s = DecodeSymbol(in, quadTable, end);
        if (s < 0) {
            pg.cleanEnd = false;
            break;
        }
        for (int k = 0; k < 4; ++k) {
            const int v = (s >> (3 - k)) & 1;
            const int value = v && in.Bit() ? -1 : v;
            if (line + k < 576) pg.values[line + k] = value;
        }
        if (s != 0) pg.codedBits = static_cast<int>(in.Pos() - start);
        line += 4;
    }
    if (in.Pos() > end) pg.cleanEnd = false;
    in.Seek(end);
}

}  // namespace

bool ParseFrame(const uint8_t* data, size_t size, int channels, ParsedFrame& out) {
    if (size < 4 || data[0] != 0xff || (data[1] & 0xfe) != 0xfa) return false;
    out = ParsedFrame{};
    for (int i = 0; i < 4; ++i) out.headerBytes[i] = data[i];
    BitReader in(data, size);
    in.Get(16);
    out.bitrateIndex = static_cast<int>(in.Get(4));
    in.Get(2);
    out.padding = static_cast<int>(in.Get(1));
    in.Get(1);
    out.mode = static_cast<int>(in.Get(2));
    in.Get(6);
    out.mainDataBegin = static_cast<int>(in.Get(9));
    in.Get(channels == 1 ? 5 : 3);
    in.Get(4 * channels);
    for (auto& granule : out.granules) {
        for (int ch = 0; ch < channels; ++ch) ReadSideInfo(in, granule[ch].side);
    }
    for (auto& granule : out.granules) {
        for (int ch = 0; ch < channels; ++ch) {
            ReadMainData(in, granule[ch]);
            out.mainDataBits += granule[ch].side.part23Length;
        }
    }
    return true;
}

std::vector<ParsedFrame> ParseStream(const std::vector<uint8_t>& bytes, size_t frameBytes, int channels) {
    std::vector<ParsedFrame> frames;
    for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
        ParsedFrame f;
        if (!ParseFrame(bytes.data() + at, frameBytes, channels, f)) break;
        frames.push_back(f);
    }
    return frames;
}

}  // namespace sonotrap::enctest
