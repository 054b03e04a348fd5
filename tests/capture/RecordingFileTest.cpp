#include <gtest/gtest.h>

#include "capture/RecordingFile.h"
#include "capture/WavFileWriter.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

TEST(WavFileWriter, HeaderHasTheRecordingLayoutWithPlaceholdersUntilCommitted) {
    TempDir dir;
    WavFileWriter wav;
    ASSERT_TRUE(wav.OpenWavFile(dir.File("a.wav")));
    const std::vector<uint8_t> b = StreamBytes(0, 2304);
    ASSERT_TRUE(wav.WriteWavBlock(b.data(), 4608));
    const auto bytes = ReadFileBytes(dir.File("a.wav"));
    ASSERT_EQ(bytes.size(), 56u + 4608u);
    const std::vector<uint8_t> header = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                         16, 0, 0, 0, 1, 0, 1, 0, 0x00, 0x7D, 0, 0, 0x00, 0xFA, 0, 0,
                                         2, 0, 16, 0, 'f', 'a', 'c', 't', 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                                         'd', 'a', 't', 'a', 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 56), header);
    ASSERT_TRUE(wav.CommitSizes());
    ExpectWavSizes(ReadFileBytes(dir.File("a.wav")), 4608u);
    wav.FinishWavFile();
}

class RecordingFileTest : public ::testing::Test, protected CaptureRig {
protected:
    void SetUp() override { file.BeginRun(false, dir.Path().string(), false); }
    RecordingFile file{log};
};

// The name is the first free one of STAMP.ext, STAMP-2.ext, STAMP-3.ext, ...
TEST_F(RecordingFileTest, NameAvoidsTakenNames) {
    ASSERT_TRUE(WriteFileBytes(dir.File("0314152607.wav"), {1}));
    ASSERT_TRUE(WriteFileBytes(dir.File("0314152607-2.wav"), {2}));
    EXPECT_EQ(file.MakeRecordingName("0314152607"), dir.File("0314152607-3.wav"));
    EXPECT_EQ(file.MakeRecordingName("0314152608"), dir.File("0314152608.wav"));
}

TEST_F(RecordingFileTest, ClosingWithNothingWrittenLogsNothing) {
    file.CloseRecordingFile();
    ASSERT_TRUE(file.OpenRecordingFile("0101000000"));
    file.CloseRecordingFile();
    EXPECT_EQ(LogBody(), "");
    EXPECT_EQ(file.Counters().fileBytes, 0u);
}

}  // namespace
}  // namespace sonotrap::test
