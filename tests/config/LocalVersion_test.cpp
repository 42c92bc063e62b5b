#include "config/LocalVersion.h"

#include "common/FileSystem.h"
#include "tests/support/TempDir.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using test::TempDir;

TEST(LocalVersionTest, FirstLineAsNumber) {
    struct Case {
        const char* name;
        std::string content;
        std::uint16_t version;
    };
    const std::vector<Case> cases = {
        {"empty", "", 0},
        {"letters", "abc\n", 0},
        {"plain", "12", 12},
        {"crlf", "12\r\n", 12},
        {"blanks and word", "  7 word", 7},
        {"tab", "\t9\n", 9},
        {"plus", "+8", 8},
        {"only first line", "3\n4", 3},
        {"number on second line", "\n5", 0},
        {"byte order mark",
         "\xEF\xBB\xBF"
         "5",
         0},
        {"eleven nines", "99999999999", 0},
        {"int32 max", "2147483647", 65535},
        {"past int32 max", "2147483648", 0},
        {"int32 min", "-2147483648", 0},
        {"past int32 min", "-2147483649", 0},
        {"65536", "65536", 0},
        {"70000", "70000", 4464},
        {"minus one", "-1", 65535},
        {"sign only", "-\n", 0},
        {"sign and blank", "- 3", 0},
        {"leading zeros", "000000000000000000042", 42},
        {"zero byte before digits",
         std::string("\0"
                     "5",
                     2),
         0},
        {"digits then zero byte",
         std::string("6\0"
                     "7",
                     3),
         6},
        {"carriage return first", "\r11\n", 11},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        test::WriteFileBytes(dir.Child(L"version.dat"), row.content);
        EXPECT_EQ(ReadLocalVersion(dir.Path(), L"version.dat"), row.version);
    }
}

TEST(LocalVersionTest, MissingOrUnreadable) {
    TempDir dir;
    EXPECT_EQ(ReadLocalVersion(dir.Path(), L"version.dat"), 0);
    ASSERT_TRUE(CreateDirectoryAt(dir.Child(L"version.dat")));
    EXPECT_EQ(ReadLocalVersion(dir.Path(), L"version.dat"), 0);
}

TEST(LocalVersionTest, PathIsDirectoryFollowedByName) {
    TempDir dir;
    test::WriteFileBytes(dir.Child(L"sub/version.dat"), "21\n");
    EXPECT_EQ(ReadLocalVersion(dir.Path(), L"sub\\version.dat"), 21);
    EXPECT_EQ(ReadLocalVersion(dir.Child(L"sub/"), L"version.dat"), 21);
}

TEST(LocalVersionTest, VeryLongFirstLine) {
    TempDir dir;
    test::WriteFileBytes(dir.Child(L"version.dat"),
                         std::string(100000, ' ') + "31" + std::string(100000, 'x'));
    EXPECT_EQ(ReadLocalVersion(dir.Path(), L"version.dat"), 31);
}

TEST(LocalVersionTest, EachCallReadsTheFileAnew) {
    TempDir dir;
    test::WriteFileBytes(dir.Child(L"version.dat"), "4\n");
    EXPECT_EQ(ReadLocalVersion(dir.Path(), L"version.dat"), 4);
    test::WriteFileBytes(dir.Child(L"version.dat"), "5\n");
    EXPECT_EQ(ReadLocalVersion(dir.Path(), L"version.dat"), 5);
}

TEST(LocalVersionTest, ReadsWhileAWriterHoldsTheFile) {
    TempDir dir;
    std::optional<File> writer = File::OpenWrite(dir.Child(L"version.dat"));
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->Write("17\n", 3));
    EXPECT_EQ(ReadLocalVersion(dir.Path(), L"version.dat"), 17);
}

}  // namespace
}  // namespace ombrelta
