#include "verify/SafeEntryPath.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(IsSafeEntryPath, Table) {
    struct Row {
        std::string path;
        bool safe;
    };
    const std::vector<Row> rows = {
        {"game.exe", true},
        {"data/file.bin", true},
        {"data\\sub\\file.bin", true},
        {"./data/file.bin", true},
        {"a..b/..c/d..", true},
        {".hidden", true},
        {"data/c:colon", true},
        {"", false},
        {"/etc/passwd", false},
        {"\\Windows\\x.dll", false},
        {"\\\\server\\share\\x", false},
        {"//server/share/x", false},
        {"\\\\?\\C:\\x", false},
        {"\\\\.\\PhysicalDrive0", false},
        {"C:\\x", false},
        {"c:/x", false},
        {"C:x", false},
        {"z:", false},
        {"..", false},
        {"../x", false},
        {"..\\x", false},
        {"data/../../x", false},
        {"data\\..", false},
        {"data/.../x", false},
        {"data/.. /x", false},
        {std::string("data\0/x", 7), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(IsSafeEntryPath(row.path), row.safe);
    }
}

TEST(RequireSafeEntryPath, NamesThePathAsReceived) {
    EXPECT_NO_THROW(RequireSafeEntryPath("data/file.bin"));
    try {
        RequireSafeEntryPath("data/../../x");
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Unsafe file path: data/../../x");
    }
}

}  // namespace
}  // namespace ombrelta
