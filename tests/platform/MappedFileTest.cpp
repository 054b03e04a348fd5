#include <gtest/gtest.h>

#include "platform/MappedFile.h"
#include "support/TestSupport.h"

using namespace sonotrap;

TEST(MappedFile, MapsWholeFilesAndFailsOnMissingOnesAndDirectories) {
    test::TempDir dir;
    for (const std::vector<uint8_t>& bytes : {std::vector<uint8_t>{1, 2, 3, 250, 0, 7}, std::vector<uint8_t>{}}) {
        ASSERT_TRUE(test::WriteFileBytes(dir.File("a.bin"), bytes));
        MappedFile f;
        ASSERT_TRUE(f.Open(dir.File("a.bin")));
        ASSERT_EQ(f.Size(), bytes.size());
        EXPECT_EQ(std::vector<uint8_t>(f.Data(), f.Data() + f.Size()), bytes);
        f.Close();
        EXPECT_FALSE(f.IsOpen());
        EXPECT_EQ(f.Data(), nullptr);
    }
    MappedFile f;
    EXPECT_FALSE(f.Open(dir.File("missing")));
    EXPECT_FALSE(f.Open(dir.Path().string()));
    EXPECT_FALSE(f.IsOpen());
}
