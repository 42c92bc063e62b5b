#include "common/PartialDownload.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

TEST(PartialDownloadTest, RecordsAreReadOnlyInTheShapeTheyAreWritten) {
    EXPECT_EQ(GameFilePartRecord(2500, "ABC"), "size=2500\nmd5=ABC\n");
    EXPECT_EQ(PatchPartRecord(7, 900, "p7.zip"), "version=7\nsize=900\nname=p7.zip\n");
    struct Row {
        std::string text;
        bool gameFile;
        std::optional<std::uint16_t> patchVersion;  // of a part of "p7.zip"
    };
    const std::vector<Row> rows = {
        {GameFilePartRecord(0, ""), true, std::nullopt},
        {GameFilePartRecord(4294967295u, "0123456789abcdef0123456789abcdef"), true, std::nullopt},
        {"size=4294967296\nmd5=a\n", false, std::nullopt},
        {"size=012\nmd5=a\n", false, std::nullopt},
        {"size=12\nmd5=a", false, std::nullopt},
        {"size=12\nmd5=a\nmore\n", false, std::nullopt},
        {"md5=a\nsize=12\n", false, std::nullopt},
        {PatchPartRecord(7, 900, "p7.zip"), false, 7},
        {PatchPartRecord(65535, 0, "p7.zip"), false, 65535},
        {"version=65536\nsize=900\nname=p7.zip\n", false, std::nullopt},
        {"version=-1\nsize=900\nname=p7.zip\n", false, std::nullopt},
        {PatchPartRecord(7, 900, "p8.zip"), false, std::nullopt},
        {"version=7\nsize=900\nname=p7.zip\n\n", false, std::nullopt},
        {"", false, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(IsGameFilePartRecord(row.text), row.gameFile);
        EXPECT_EQ(PatchPartVersion(row.text, "p7.zip"), row.patchVersion);
    }
}

// Both sweeps look below the root they are given, whatever the working folder: a stale part of the
// working folder stays, as does the part of a newer patch.
TEST(PartialDownloadTest, SweepsWorkBelowTheRootGiven) {
    EXPECT_EQ(PartialRecordPath(PartialPath(L"data\\a.bin")), L"data\\a.bin.download.resume");
    const std::string record = GameFilePartRecord(5, "0");
    struct Row {
        std::wstring file;
        std::string content;
        bool remains;
    };
    const std::vector<Row> rows = {
        {L"root/data/a.bin.download", "part", true},
        {L"root/data/a.bin.download.resume", record, true},
        {L"root/data/b.bin.download", "part", false},
        {L"root/data/b.bin.download.resume", GameFilePartRecord(6, "0"), false},
        {L"root/_patch_temp/p3.zip.download", "part of the installed version", false},
        {L"root/_patch_temp/p4.zip.download", "part of a later patch", true},
        {L"root/_patch_temp/p4.zip.download.resume", PatchPartRecord(4, 9, "p4.zip"), true},
        {L"cwd/data/b.bin.download", "part", true},
        {L"cwd/data/b.bin.download.resume", GameFilePartRecord(6, "0"), true},
        {L"cwd/_patch_temp/p3.zip.download", "part", true},
    };
    test::TempDir dir;
    for (const Row& row : rows)
        test::WriteFileBytes(dir.Child(row.file), row.content);
    test::WorkingDirectory cwd(dir.Child(L"cwd"));

    SweepGameFileParts(dir.Child(L"root"), {{.path = L"data/a.bin", .partRecord = record},
                                            {.path = L"data\\B.bin", .partRecord = record}});
    SweepPatchParts(dir.Child(L"root"), 3);

    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.file.begin(), row.file.end()));
        EXPECT_EQ(test::FileExists(dir.Child(row.file)), row.remains);
    }
}

}  // namespace
}  // namespace ombrelta
