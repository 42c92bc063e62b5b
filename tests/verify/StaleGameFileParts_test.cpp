#include "verify/StaleGameFileParts.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/PartialDownload.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FileExists;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

const char kMd5[] = "0123456789abcdef0123456789abcdef";

TEST(StaleGameFilePartsTest, DeletesOnlyPartsNoRepairCanContinue) {
    const std::vector<HashEntry> listed = {
        {.id = 0, .path = "data/kept.bin", .hash = kMd5, .size = 10},
        {.id = 1, .path = "data\\Other.bin", .hash = kMd5, .size = 10},
        {.id = 2, .path = "bare.bin", .hash = kMd5, .size = 10},
        {.id = 3, .path = "listed.bin.download", .hash = kMd5, .size = 10},
    };
    const std::string record = GameFilePartRecord(10, kMd5);
    struct Row {
        std::wstring file;
        std::string content;
        bool remains;
    };
    const std::vector<Row> rows = {
        {L"data/kept.bin.download", "part", true},
        {L"data/kept.bin.download.resume", record, true},
        {L"data/other.bin.download", "part of a listed file, record of another size", false},
        {L"data/other.bin.download.resume", GameFilePartRecord(11, kMd5), false},
        {L"bare.bin.download", "part of a listed file without a record", false},
        {L"gone/old.bin.download", "part of a file no longer listed", false},
        {L"gone/old.bin.download.resume", GameFilePartRecord(3, "abc"), false},
        {L"gone/lone.bin.download.resume", record, false},
        {L"gone/mine.txt.download", "not listed, no record: maybe not ours", true},
        {L"gone/theirs.download", "not listed, a record of another shape", true},
        {L"gone/theirs.download.resume", "version=3\nsize=1\nname=theirs\n", true},
        {L"listed.bin.download", "a listed game file", true},
        {L"listed.bin.download.resume", "its record does not matter", true},
        {L"notes.resume", record, true},
        {L"data/kept.bin", "the files themselves", true},
    };
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    for (const Row& row : rows)
        WriteFileBytes(dir.Child(row.file), row.content);

    RemoveStaleGameFileParts(listed);

    for (const Row& row : rows)
        EXPECT_EQ(FileExists(dir.Child(row.file)), row.remains)
            << std::string(row.file.begin(), row.file.end());
}

}  // namespace
}  // namespace ombrelta
