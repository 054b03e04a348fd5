#include "mp3dec/Mp3FrameIndex.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TestSupport.h"

namespace sonotrap {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Load(const std::string& name) { return test::ReadFileBytes(test::DataPath("mp3dec/" + name)); }

struct Indexed {
    bool ok = false;
    uint32_t frames = 0, channels = 0, rate = 0, sampleFrames = 0;
    std::vector<uint32_t> offsets, lengths;
};

Indexed Index(const Bytes& bytes, uint32_t maxFrames = Mp3FrameIndex::kPlaybackMaxFrames) {
    Mp3FrameIndex index;
    // Braced initialisers run in order: Run first, then the fields it set.
    Indexed r{index.Run(bytes.data(), bytes.size(), maxFrames), index.frameCount, index.channels,
              index.sampleRate, index.sampleFrames, {}, {}};
    for (uint32_t i = 0; i < index.frameCount; ++i) {
        r.offsets.push_back(index.FrameOffset(i));
        r.lengths.push_back(index.FrameLength(i));
    }
    return r;
}

// Contiguous frames, and one frame less of audio than frames: MPEG-2 frames carry half.
TEST(Mp3FrameIndex, ListsContiguousFramesAndCountsOneFrameLessOfAudio) {
    const struct {
        const char* file;
        uint32_t rate, channels, samplesPerFrame, firstLength;
    } cases[] = {{"s44_stereo.mp3", 44100, 2, 1152, 417},  // 128 kbit/s
                 {"m22_mono.mp3", 22050, 1, 576, 0},
                 {"s24_joint.mp3", 24000, 2, 576, 192}};  // 64 kbit/s: 72 * 64000 / 24000
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes bytes = Load(c.file);
        const Indexed r = Index(bytes);
        ASSERT_GT(r.frames, 10u);
        EXPECT_EQ(r.rate, c.rate);
        EXPECT_EQ(r.channels, c.channels);
        EXPECT_EQ(r.sampleFrames, (r.frames - 1) * c.samplesPerFrame);
        EXPECT_TRUE(c.firstLength == 0 || r.lengths[0] == c.firstLength) << r.lengths[0];
        EXPECT_EQ(r.offsets[0], 0u);
        for (uint32_t i = 0; i + 1 < r.frames; ++i) ASSERT_EQ(r.offsets[i] + r.lengths[i], r.offsets[i + 1]) << i;
        EXPECT_EQ(r.offsets.back() + r.lengths.back(), bytes.size());
    }
}

// A leading ID3v2 tag is skipped even when it holds sync bytes; an ID3v1 tag or an appended
// ID3v2 ends the stream, though filler holding a valid frame header follows.
TEST(Mp3FrameIndex, TagsAroundTheFramesAreNoFrames) {
    const Bytes plain = Load("s44_stereo.mp3");
    const Indexed reference = Index(plain);
    Bytes tagged = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 44};  // 300 bytes: 0 0 2 44 in 7-bit digits
    for (uint32_t i = 0; i < 300; ++i) tagged.push_back(i % 7 == 0 ? 0xFF : 0xFB);
    tagged.insert(tagged.end(), plain.begin(), plain.end());
    EXPECT_EQ(Index(tagged).offsets.at(0), 310u);
    for (const char* tag : {"TAG", "ID3", "3DI"}) {
        tagged.insert(tagged.end(), tag, tag + 3);
        tagged.insert(tagged.end(), plain.begin(), plain.begin() + 125);
        const Indexed r = Index(tagged);
        EXPECT_EQ(r.frames, reference.frames) << tag;
        EXPECT_EQ(r.lengths.back(), reference.lengths.back()) << tag;
        tagged.resize(tagged.size() - 128);
    }
}

// Damage before frame k + 1: one stray or missing byte is put right by changing frame k's
// length; longer junk is skipped by scanning, frame k keeping its length.
TEST(Mp3FrameIndex, DamageBetweenFramesIsCorrectedOrSkipped) {
    const Bytes plain = Load("s44_stereo.mp3");
    const Indexed reference = Index(plain);
    const struct {
        const char* what;
        uint32_t k;
        int inserted;  // bytes inserted before frame k + 1, or removed when negative
        int lengthChange;
    } cases[] = {{"stray byte", 5, 1, 1}, {"missing byte", 3, -1, -1}, {"7 bytes of junk", 4, 7, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes damaged = plain;
        const auto at = damaged.begin() + reference.offsets[c.k + 1];
        if (c.inserted > 0) damaged.insert(at, c.inserted, 0x01);
        else damaged.erase(at - 1);
        const Indexed r = Index(damaged);
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.frames, reference.frames);
        EXPECT_EQ(r.lengths[c.k], reference.lengths[c.k] + c.lengthChange);
        EXPECT_EQ(r.offsets[c.k + 1], reference.offsets[c.k + 1] + c.inserted);
        EXPECT_EQ(r.lengths[c.k + 1], reference.lengths[c.k + 1]);
    }
}

TEST(Mp3FrameIndex, AFrameCutShortByTheEndKeepsItsBytes) {
    const Bytes plain = Load("s44_stereo.mp3");
    const Indexed r = Index(Bytes(plain.begin(), plain.begin() + Index(plain).offsets[8] + 100));
    ASSERT_EQ(r.frames, 9u);
    EXPECT_EQ(r.lengths[8], 100u);
}

// Free format, MPEG-2.5 frames ahead of ordinary MPEG-2 ones, and a frame without a successor
// refuse the stream; a lone frame that only looks like MPEG-2.5 is passed over.
TEST(Mp3FrameIndex, RefusesFreeFormatMpeg25AndALoneFrame) {
    const Bytes stereo = Load("s44_stereo.mp3"), mono = Load("m22_mono.mp3");
    const Indexed reference = Index(mono);
    Bytes free = stereo, mpeg25 = mono, lone = mono, single(stereo.begin(), stereo.begin() + 417);
    for (uint32_t offset : Index(stereo).offsets) free[offset + 2] &= 0x0F;  // bitrate index 0
    for (uint32_t i = 0; i < 12; ++i) mpeg25[reference.offsets[i] + 1] &= 0xEF;  // version 00
    single.resize(417 + 30, 0);  // room for a successor, but none there
    for (const Bytes& b : {free, Load("he_free.bit"), mpeg25, single, Bytes(), Bytes(23, 0xFF)}) EXPECT_FALSE(Index(b).ok);
    EXPECT_FALSE(Mp3FrameIndex().Run(nullptr, 100));
    lone[reference.offsets[0] + 1] &= 0xEF;
    const Indexed r = Index(lone);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.offsets[0], reference.offsets[1]);
}

TEST(Mp3FrameIndex, GrowsItsChunkTablesPastOneChunk) {
    const Bytes one = Load("m22_mono.mp3");
    Bytes many;
    while (many.size() < 1100u * 104) many.insert(many.end(), one.begin(), one.end());
    const Indexed r = Index(many);
    ASSERT_TRUE(r.ok);
    EXPECT_GT(r.frames, Mp3FrameIndex::kChunkEntries);
    EXPECT_EQ(r.offsets.back() + r.lengths.back(), many.size());
    // A frame limit ends the walk there, inside a chunk, with the totals of the frames kept.
    const Indexed cut = Index(many, Mp3FrameIndex::kChunkEntries + 5);
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.frames, Mp3FrameIndex::kChunkEntries + 5);
    EXPECT_EQ(cut.offsets, std::vector<uint32_t>(r.offsets.begin(), r.offsets.begin() + cut.frames));
    EXPECT_EQ(cut.sampleFrames, (cut.frames - 1) * 576);
}

}  // namespace
}  // namespace sonotrap
