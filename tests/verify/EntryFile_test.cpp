#include "verify/EntryFile.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

TEST(FileNeedsRepair, Table) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    WriteFileBytes(dir.Child(L"sub/abc.bin"), "abc");
    struct Row {
        const char* path;
        const char* hash;
        std::uint32_t size;
        bool needsRepair;
    };
    const std::vector<Row> rows = {
        {"sub/abc.bin", "900150983cd24fb0d6963f7d28e17f72", 3, false},
        {"sub\\abc.bin", "900150983CD24FB0D6963F7D28E17F72", 3, false},
        {"sub/abc.bin", "900150983cd24fb0d6963f7d28e17f72", 4, true},
        {"sub/abc.bin", "900150983cd24fb0d6963f7d28e17f7", 3, true},
        {"sub/abc.bin", "000150983cd24fb0d6963f7d28e17f72", 3, true},
        {"sub/missing.bin", "d41d8cd98f00b204e9800998ecf8427e", 0, true},
        {"sub", "d41d8cd98f00b204e9800998ecf8427e", 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(FileNeedsRepair(HashEntry{.id = 1, .path = row.path, .hash = row.hash, .size = row.size}),
                  row.needsRepair);
    }
}

TEST(EntryWidePath, EverySeparatorBecomesABackslash) {
    EXPECT_EQ(EntryWidePath(HashEntry{.id = 0, .path = "a/b\\c/d.bin", .hash = "", .size = 0}),
              L"a\\b\\c\\d.bin");
    EXPECT_EQ(EntryWidePath(HashEntry{.id = 0, .path = "\xC3\xA9t\xC3\xA9/x", .hash = "", .size = 0}),
              L"\u00E9t\u00E9\\x");
    // Overlong forms of '.' and '/' must not turn into them after the path was found safe.
    const std::wstring overlong =
        EntryWidePath(HashEntry{.id = 0, .path = "\xC0\xAE\xC0\xAE\xC0\xAFx", .hash = "", .size = 0});
    EXPECT_EQ(overlong.find(L'.'), std::wstring::npos);
    EXPECT_EQ(overlong.find(L'\\'), std::wstring::npos);
}

}  // namespace
}  // namespace ombrelta
