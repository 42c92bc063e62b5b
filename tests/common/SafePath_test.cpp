#include "common/SafePath.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"

namespace ombrelta {
namespace {

TEST(IsSafeEntryPath, Table) {
    struct Row {
        std::string path;
        bool safe;
    };
    const std::vector<Row> rows = {
        {"game.exe", true},
        {"plain.txt", true},
        {"data/file.bin", true},
        {"data\\sub\\file.bin", true},
        {"data/", true},
        {"data\\sub\\", true},
        {".", true},
        {"./data/file.bin", true},
        {"a\\.\\b", true},
        {"a..b/..c", true},
        {"..a", true},
        {".hidden", true},
        {"conx.txt", true},
        {"console", true},
        {"COM10", true},
        {"LPT", true},
        {"d\xC3\xA9j\xC3\xA0/\xC3\xA9t\xC3\xA9.txt", true},
        // Empty, rooted, drives, UNC and device paths.
        {"", false},
        {"/etc/passwd", false},
        {"/rooted.txt", false},
        {"\\Windows\\x.dll", false},
        {"\\\\server\\share\\x", false},
        {"//server/share/x", false},
        {"\\\\\\x", false},
        {"\\\\?\\C:\\x", false},
        {"\\\\.\\PhysicalDrive0", false},
        {"\\??\\C:\\x", false},
        {"/?\?/C:/x", false},
        {"\\/?/x", false},
        {"\\?x\\y", false},
        {"C:\\x", false},
        {"c:/x", false},
        {"z:/x", false},
        {"C:x", false},
        {"C:name", false},
        {"C:", false},
        {"z:", false},
        {"1:\\x", false},
        // Climbing out, also through the dots and spaces Windows drops.
        {"..", false},
        {"../x", false},
        {"..\\x", false},
        {"..\\evil.txt", false},
        {"a/../b", false},
        {"a\\..\\..\\b", false},
        {"data/../../x", false},
        {"data\\..", false},
        {"...", false},
        {"data/.../x", false},
        {"data/.. /x", false},
        {"a..\\b", false},
        {"d..", false},
        {"name.", false},
        {"data/name /x", false},
        // Streams, drive-relative elements and control characters.
        {"data/c:colon", false},
        {"file.txt:stream", false},
        {std::string("data\0/x", 7), false},
        {"a\x01" "b", false},
        {"data/\x1F", false},
        // Windows devices, whatever the case or extension.
        {"nul", false},
        {"AUX.log", false},
        {"COM1", false},
        {"con.txt", false},
        {"Nul.tar.gz", false},
        {"data\\CON.txt", false},
        {"data/prn/x", false},
        {"com0", false},
        {"LPT9.dat", false},
        {"lpt1", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(IsSafeEntryPath(row.path), row.safe);
        EXPECT_EQ(IsSafeEntryPath(Utf8ToWide(row.path)), row.safe);
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
