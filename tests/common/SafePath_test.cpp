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
        bool fileName;  // also one file's name in its folder
    };
    const std::vector<Row> rows = {
        {"game.exe", true, true},
        {"plain.txt", true, true},
        {"data/file.bin", true, false},
        {"data\\sub\\file.bin", true, false},
        {"data/", true, false},
        {"data\\sub\\", true, false},
        {".", true, false},
        {"./data/file.bin", true, false},
        {"a\\.\\b", true, false},
        {"a..b/..c", true, false},
        {"..a", true, true},
        {".hidden", true, true},
        {"conx.txt", true, true},
        {"console", true, true},
        {"COM10", true, true},
        {"LPT", true, true},
        {"d\xC3\xA9j\xC3\xA0/\xC3\xA9t\xC3\xA9.txt", true, false},
        // Empty, rooted, drives, UNC and device paths.
        {"", false, false},
        {"/etc/passwd", false, false},
        {"/rooted.txt", false, false},
        {"\\Windows\\x.dll", false, false},
        {"\\\\server\\share\\x", false, false},
        {"//server/share/x", false, false},
        {"\\\\\\x", false, false},
        {"\\\\?\\C:\\x", false, false},
        {"\\\\.\\PhysicalDrive0", false, false},
        {"\\??\\C:\\x", false, false},
        {"/?\?/C:/x", false, false},
        {"\\/?/x", false, false},
        {"\\?x\\y", false, false},
        {"C:\\x", false, false},
        {"c:/x", false, false},
        {"z:/x", false, false},
        {"C:x", false, false},
        {"C:name", false, false},
        {"C:", false, false},
        {"z:", false, false},
        {"1:\\x", false, false},
        // Climbing out, also through the dots and spaces Windows drops.
        {"..", false, false},
        {"../x", false, false},
        {"..\\x", false, false},
        {"..\\evil.txt", false, false},
        {"a/../b", false, false},
        {"a\\..\\..\\b", false, false},
        {"data/../../x", false, false},
        {"data\\..", false, false},
        {"...", false, false},
        {"data/.../x", false, false},
        {"data/.. /x", false, false},
        {"a..\\b", false, false},
        {"d..", false, false},
        {"name.", false, false},
        {"data/name /x", false, false},
        // Streams, drive-relative elements and control characters.
        {"data/c:colon", false, false},
        {"file.txt:stream", false, false},
        {std::string("data\0/x", 7), false, false},
        {"a\x01" "b", false, false},
        {"data/\x1F", false, false},
        // Windows devices, whatever the case or extension.
        {"nul", false, false},
        {"AUX.log", false, false},
        {"COM1", false, false},
        {"con.txt", false, false},
        {"Nul.tar.gz", false, false},
        {"data\\CON.txt", false, false},
        {"data/prn/x", false, false},
        {"com0", false, false},
        {"LPT9.dat", false, false},
        {"lpt1", false, false},
        // Names the patch loop is given for the archive it stores in "_patch_temp".
        {"patch-0001.zip", true, true},
        {"..p.zip", true, true},
        {"a/b.zip", true, false},
        {"a\\b.zip", true, false},
        {"../p.zip", false, false},
        {"C:p.zip", false, false},
        {"\\\\server\\p.zip", false, false},
        {"CON.zip", false, false},
        {"patch.zip.", false, false},
        {"patch.zip ", false, false},
        {"a\x01.zip", false, false},
        {"p.zip:stream", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(IsSafeEntryPath(row.path), row.safe);
        EXPECT_EQ(IsSafeEntryPath(Utf8ToWide(row.path)), row.safe);
        EXPECT_EQ(IsSafeFileName(row.path), row.fileName);
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
