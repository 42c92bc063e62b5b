#include "common/Path.h"

#include "common/FileSystem.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using test::TempDir;

TEST(PathTest, JoinPath) {
    struct Case {
        std::wstring a;
        std::wstring b;
        std::wstring joined;
    };
    const std::vector<Case> cases = {
        {L"", L"file.txt", L"file.txt"},           {L"dir", L"", L"dir"},
        {L"dir\\", L"file.txt", L"dir\\file.txt"}, {L"dir/", L"file.txt", L"dir/file.txt"},
        {L"dir", L"file.txt", L"dir\\file.txt"},   {L"", L"", L""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(::testing::Message() << "a=" << row.a.size() << " b=" << row.b.size());
        EXPECT_EQ(JoinPath(row.a, row.b), row.joined);
    }
}

TEST(PathTest, SeparatorsAreTheSameInEveryCharacterWidth) {
    EXPECT_TRUE(IsSeparator('/') && IsSeparator('\\') && IsSeparator(L'/') && IsSeparator(L'\\'));
    EXPECT_TRUE(IsSeparator(std::uint8_t{'/'}) && IsSeparator(std::uint8_t{'\\'}));
    // Only the characters themselves: not a wide one whose low byte is a separator.
    EXPECT_FALSE(IsSeparator(L'\u012F') || IsSeparator(L'\u015C') || IsSeparator(':') || IsSeparator('\0'));
    EXPECT_FALSE(IsSeparator(static_cast<char>(0xAF)) || IsSeparator(std::uint8_t{0xDC}));
}

TEST(PathTest, CreateDirectoriesMakesEveryMissingLevel) {
    TempDir dir;
    const std::wstring nested = dir.Child(L"a\\bb/c\\d");
    EXPECT_TRUE(CreateDirectories(nested));
    EXPECT_TRUE(IsDirectory(dir.Child(L"a")));
    EXPECT_TRUE(IsDirectory(dir.Child(L"a/bb")));
    EXPECT_TRUE(IsDirectory(nested));
    // Existing directories are no failure.
    EXPECT_TRUE(CreateDirectories(nested));
    EXPECT_TRUE(CreateDirectories(dir.Child(L"a/bb/e/")));
    EXPECT_TRUE(IsDirectory(dir.Child(L"a/bb/e")));
}

TEST(PathTest, CreateDirectoriesFailures) {
    TempDir dir;
    EXPECT_FALSE(CreateDirectories(L""));
    test::WriteFileBytes(dir.Child(L"file"), "x");
    EXPECT_FALSE(CreateDirectories(dir.Child(L"file/sub")));
    EXPECT_FALSE(PathExists(dir.Child(L"file/sub")));
    // Whatever exists at the path counts, even a file.
    EXPECT_TRUE(CreateDirectories(dir.Child(L"file")));
}

TEST(PathTest, EnsureParentDirectories) {
    TempDir dir;
    EXPECT_TRUE(EnsureParentDirectories(L"no-separator.txt"));
    EXPECT_FALSE(PathExists(L"no-separator.txt"));
    EXPECT_TRUE(EnsureParentDirectories(L"\\leading-only.txt"));
    EXPECT_TRUE(EnsureParentDirectories(L"/leading-only.txt"));
    EXPECT_TRUE(EnsureParentDirectories(dir.Child(L"x\\y/z.bin")));
    EXPECT_TRUE(IsDirectory(dir.Child(L"x/y")));
    EXPECT_FALSE(PathExists(dir.Child(L"x/y/z.bin")));
    test::WriteFileBytes(dir.Child(L"blocker"), "x");
    EXPECT_FALSE(EnsureParentDirectories(dir.Child(L"blocker/inner/file")));
}

TEST(PathTest, ExecutableDirectoryHoldsThisProgram) {
    std::wstring dir = GetExecutableDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(IsSeparator(dir.back()));
    EXPECT_TRUE(IsDirectory(dir));
    EXPECT_TRUE(PathExists(dir + L"common_tests") || PathExists(dir + L"common_tests.exe"));
}

}  // namespace
}  // namespace ombrelta
