// A file held open without write sharing, as Windows holds a running program, is moved aside
// when the system lets it be renamed.
#include "patch/ArchiveExtractor.h"

#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FixturePath;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(ExtractArchive, FileInUseIsMovedAsideWhenItCanBeRenamed) {
    struct Row {
        const char* what;
        DWORD share;
        bool inUse;
        bool extracted;
        const char* movedAside;  // what "readme.txt.old" holds afterwards
    };
    const Row rows[] = {
        {"no write sharing, renaming allowed", FILE_SHARE_READ | FILE_SHARE_DELETE, true, true, "old readme"},
        {"no write sharing, no renaming", FILE_SHARE_READ, true, false, "from an earlier update"},
        {"write sharing", FILE_SHARE_READ | FILE_SHARE_WRITE, false, true, "from an earlier update"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir tmp;
        const std::wstring held = tmp.Child(L"readme.txt");
        WriteFileBytes(held, "old readme");
        WriteFileBytes(tmp.Child(L"readme.txt.old"), "from an earlier update");
        HANDLE handle = CreateFileW(held.c_str(), GENERIC_READ, row.share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(IsFileInUse(held), row.inUse);

        std::vector<std::wstring> movedAside;
        const bool extracted = ExtractArchive(FixturePath(L"infozip.zip"), tmp.Path(), &movedAside);
        CloseHandle(handle);

        EXPECT_EQ(extracted, row.extracted);
        EXPECT_EQ(ReadFileBytes(held), row.extracted ? "version 1\n" : "old readme");
        EXPECT_EQ(movedAside.size(), row.inUse && row.extracted ? 1u : 0u);
        EXPECT_EQ(ReadFileBytes(tmp.Child(L"readme.txt.old")), row.movedAside);
    }
}

}  // namespace
}  // namespace ombrelta
