#include <gtest/gtest.h>

#include "platform/MappedFile.h"
#include "support/TestSupport.h"

using namespace sonotrap;

TEST(MappedFile, MapsTheWholeFileReadOnly) {
    test::TempDir dir;
    const std::vector<uint8_t> bytes{1, 2, 3, 250, 0, 7};
    ASSERT_TRUE(test::WriteFileBytes(dir.File("a.bin"), bytes));
    MappedFile f;
    ASSERT_TRUE(f.Open(dir.File("a.bin")));
    ASSERT_EQ(f.Size(), bytes.size());
    EXPECT_EQ(std::vector<uint8_t>(f.Data(), f.Data() + f.Size()), bytes);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Data(), nullptr);
}

TEST(MappedFile, EmptyFileOpensWithSizeZero) {
    test::TempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("empty"), {}));
    MappedFile f;
    ASSERT_TRUE(f.Open(dir.File("empty")));
    EXPECT_EQ(f.Size(), 0u);
}

TEST(MappedFile, MissingFileOrDirectoryFails) {
    test::TempDir dir;
    MappedFile f;
    EXPECT_FALSE(f.Open(dir.File("missing")));
    EXPECT_FALSE(f.Open(dir.Path().string()));
    EXPECT_FALSE(f.IsOpen());
}
