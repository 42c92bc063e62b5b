#include "patch/StalePatchParts.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/PartialDownload.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FileExists;
using test::TempDir;
using test::WriteFileBytes;

TEST(StalePatchPartsTest, DeletesPartsOfInstalledVersionsOnly) {
    struct Row {
        std::wstring file;
        std::string content;
        bool remains;
    };
    const std::vector<Row> rows = {
        {L"p4.zip.download", "part of a later patch", true},
        {L"p4.zip.download.resume", PatchPartRecord(4, 900, "p4.zip"), true},
        {L"p3.zip.download", "part of the installed version", false},
        {L"p3.zip.download.resume", PatchPartRecord(3, 900, "p3.zip"), false},
        {L"p2.zip.download", "part of an older version", false},
        {L"p2.zip.download.resume", PatchPartRecord(2, 900, "p2.zip"), false},
        {L"renamed.zip.download", "its record names another archive", false},
        {L"renamed.zip.download.resume", PatchPartRecord(9, 900, "p9.zip"), false},
        {L"bare.zip.download", "no record", false},
        {L"lone.zip.download.resume", PatchPartRecord(9, 900, "lone.zip"), false},
        {L"p3.zip", "an archive, not a part", true},
    };
    TempDir dir;
    WriteFileBytes(dir.Child(L"version.dat"), "3\n");
    for (const Row& row : rows)
        WriteFileBytes(dir.Child(L"_patch_temp/" + row.file), row.content);

    RemoveStalePatchParts(dir.Path());

    for (const Row& row : rows) {
        EXPECT_EQ(FileExists(dir.Child(L"_patch_temp/" + row.file)), row.remains)
            << std::string(row.file.begin(), row.file.end());
    }
}

TEST(StalePatchPartsTest, EmptiedFolderIsRemoved) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"version.dat"), "3\n");
    WriteFileBytes(dir.Child(L"_patch_temp/p1.zip.download"), "old");
    RemoveStalePatchParts(dir.Path());
    EXPECT_FALSE(FileExists(dir.Child(L"_patch_temp")));
}

}  // namespace
}  // namespace ombrelta
