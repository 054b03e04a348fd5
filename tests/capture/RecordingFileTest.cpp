#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "capture/RecordingFile.h"
#include "capture/WavFileWriter.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

std::vector<uint8_t> Block(uint32_t index) { return StreamBytes(index * 2304, 2304); }

TEST(WavFileWriter, HeaderHasTheRecordingLayoutWithPlaceholdersUntilCommitted) {
    TempDir dir;
    WavFileWriter wav;
    ASSERT_TRUE(wav.OpenWavFile(dir.File("a.wav")));
    const std::vector<uint8_t> b = Block(0);
    ASSERT_TRUE(wav.WriteWavBlock(b.data(), 4608));
    auto bytes = ReadFileBytes(dir.File("a.wav"));
    ASSERT_EQ(bytes.size(), 56u + 4608u);
    const uint8_t expected[56] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                  16, 0, 0, 0, 1, 0, 1, 0, 0x00, 0x7D, 0, 0, 0x00, 0xFA, 0, 0,
                                  2, 0, 16, 0, 'f', 'a', 'c', 't', 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                  'd', 'a', 't', 'a', 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 56), std::vector<uint8_t>(expected, expected + 56));

    ASSERT_TRUE(wav.CommitSizes());
    bytes = ReadFileBytes(dir.File("a.wav"));
    EXPECT_EQ(Le32(bytes, 4), 56u + 4608u - 8u);
    EXPECT_EQ(Le32(bytes, 44), 2304u);
    EXPECT_EQ(Le32(bytes, 52), 4608u);
    // Appending after a commit goes on at the end, not over the header.
    ASSERT_TRUE(wav.WriteWavBlock(b.data(), 4608));
    wav.FinishWavFile();
    bytes = ReadFileBytes(dir.File("a.wav"));
    ASSERT_EQ(bytes.size(), 56u + 9216u);
    EXPECT_EQ(Le32(bytes, 52), 9216u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 56 + 4608, bytes.end()), b);
}

TEST(WavFileWriter, NeverReplacesAnExistingFile) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("taken.wav"), {1, 2, 3}));
    WavFileWriter wav;
    EXPECT_FALSE(wav.OpenWavFile(dir.File("taken.wav")));
    EXPECT_EQ(ReadFileBytes(dir.File("taken.wav")).size(), 3u);
    EXPECT_FALSE(wav.OpenWavFile(dir.File("missing-dir/x.wav")));
}

class RecordingFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(log.LogOpen(dir.Path().string())); }
    TempDir dir;
    DiagnosticLog log;
};

TEST_F(RecordingFileTest, NamesTheFileAfterTheStampAndAvoidsTakenNames) {
    RecordingFile file(log);
    file.BeginRun(false, dir.Path().string(), false);
    ASSERT_TRUE(file.OpenRecordingFile("0314152607"));
    EXPECT_EQ(file.Path(), dir.File("0314152607.wav"));
    file.CloseRecordingFile();
    ASSERT_TRUE(file.OpenRecordingFile("0314152607"));
    EXPECT_EQ(file.Path(), dir.File("0314152607-2.wav"));
    file.CloseRecordingFile();
    EXPECT_EQ(file.MakeRecordingName("0314152607"), dir.File("0314152607-3.wav"));
    file.BeginRun(true, dir.Path().string(), true);
    EXPECT_EQ(file.MakeRecordingName("0314152607"), dir.File("0314152607.mp3"));
}

TEST_F(RecordingFileTest, CountersFollowTheBlocksWritten) {
    RecordingFile file(log);
    file.BeginRun(false, dir.Path().string(), false);
    ASSERT_TRUE(file.OpenRecordingFile("0101000000"));
    const std::vector<uint8_t> b = StreamBytes(0, 2304 * 14);
    file.WriteRecordingBlock(b.data(), static_cast<uint32_t>(b.size()), false);
    EXPECT_EQ(file.Counters().blocksWritten, 14u);
    EXPECT_EQ(file.Counters().elapsedSeconds, 1u);  // 1.008 s
    EXPECT_EQ(file.Counters().fileBytes, 14u * 4608u);
    EXPECT_EQ(file.Counters().kilobytes, 63u);
    EXPECT_TRUE(file.Counters().countersChanged);
}

TEST_F(RecordingFileTest, ClosingWithNothingWrittenLogsNothing) {
    RecordingFile file(log);
    file.BeginRun(false, dir.Path().string(), false);
    file.CloseRecordingFile();
    ASSERT_TRUE(file.OpenRecordingFile("0101000000"));
    file.CloseRecordingFile();
    EXPECT_EQ(LogBody(dir), "");
    EXPECT_EQ(file.Counters().fileBytes, 0u);
}

// Makes every file of the process stop growing at limit bytes (EFBIG instead of a signal).
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t limit) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit next = previous_;
        next.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &next);
    }
    ~ScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(RecordingFileTest, AWriteErrorFinishesTheFileLogsItAndIsNotCounted) {
    RecordingFile file(log);
    file.BeginRun(false, dir.Path().string(), false);
    ASSERT_TRUE(file.OpenRecordingFile("0101000000"));
    const std::vector<uint8_t> b = Block(0);
    {
        ScopedFileSizeLimit limit(56 + 3 * 4608 + 100);
        for (int i = 0; i < 5; ++i) file.WriteRecordingBlock(b.data(), 4608, false);
    }
    EXPECT_TRUE(file.Failed());
    EXPECT_TRUE(file.IsOpen());  // until the recorder closes it
    EXPECT_EQ(file.Counters().blocksWritten, 3u);
    EXPECT_EQ(file.Counters().fileBytes, 3u * 4608u + 100u);
    const auto bytes = ReadFileBytes(file.Path());
    ASSERT_EQ(bytes.size(), 56u + 3u * 4608u + 100u);
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(Le32(bytes, 52), bytes.size() - 56);
    EXPECT_EQ(Le32(bytes, 44), (bytes.size() - 56) / 2);
    EXPECT_NE(LogBody(dir).find("Write error, recording file finished early: " + file.Path() + "\n"), std::string::npos);
}

}  // namespace
}  // namespace sonotrap::test
