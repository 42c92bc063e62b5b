// Delta entries as the launcher applies them (fixtures/delta.zip, made by
// fixtures/make-delta-fixtures.sh), and the header they start with.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FailureNote.h"
#include "common/Path.h"
#include "common/Text.h"
#include "patch/ArchiveExtractor.h"
#include "patch/DeltaEntry.h"
#include "patch/DeltaHeader.h"
#include "patch/ZipReader.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::CountChildren;
using test::FileExists;
using test::FixtureBytes;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

constexpr std::size_t kResultDigestAt = 60;

enum class Base { Intact, Missing, Modified };

struct Row {
    const char* label;
    Base base;
    std::size_t changedByte;  // npos: the archive as made
    bool extracted;
    const wchar_t* expected;  // the fixture game.pak then holds; null: as before
    const char* cause;        // what the failure notes hold; "" for none
};

TEST(DeltaEntry, AppliedOnlyToItsBaseAndOnlyWhenItsResultChecks) {
    const std::size_t npos = std::string::npos;
    const Row rows[] = {
        {"base intact", Base::Intact, npos, true, L"delta-result.bin", ""},
        {"base missing: skipped for the repair", Base::Missing, npos, true, nullptr, ""},
        {"base modified: skipped for the repair", Base::Modified, npos, true, nullptr, ""},
        {"result digest wrong", Base::Intact, kResultDigestAt, false, nullptr,
         "the delta result's SHA-256 differs from its header's"},
        {"frame damaged", Base::Intact, kDeltaHeaderSize + 20, false, nullptr,
         "the delta result's SHA-256 differs from its header's"},
        {"frame magic damaged", Base::Intact, kDeltaHeaderSize, false, nullptr,
         "zstd error Unknown frame descriptor"},
        {"header damaged", Base::Intact, 0, false, nullptr, "the delta header is not usable"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir tmp;
        const std::wstring pak = tmp.Child(L"install/data/game.pak");
        if (row.base != Base::Missing)
            WriteFileBytes(pak, row.base == Base::Intact ? FixtureBytes(L"delta-base.bin") : "modified");
        const std::string before = row.base == Base::Missing ? "" : ReadFileBytes(pak);
        std::string zip = FixtureBytes(L"delta.zip");
        if (row.changedByte != npos)
            test::ChangeStoredByte(zip, 0, row.changedByte);
        WriteFileBytes(tmp.Child(L"patch.zip"), zip);

        FailureNotes notes;
        EXPECT_EQ(ExtractArchive(tmp.Child(L"patch.zip"), tmp.Child(L"install/"), nullptr, DeltaEntries::Applied),
                  row.extracted);
        const std::string causes = TakeFailureNotes();
        EXPECT_EQ(causes.empty(), *row.cause == '\0') << causes;
        EXPECT_NE(causes.find(row.cause), std::string::npos) << causes;
        ASSERT_EQ(FileExists(pak), row.base != Base::Missing);
        if (row.base != Base::Missing) {
            EXPECT_TRUE(ReadFileBytes(pak) == (row.expected ? FixtureBytes(row.expected) : before));
        }
        // Nothing beside it: no staging file, no delta entry written as a file.
        EXPECT_EQ(CountChildren(tmp.Child(L"install/data")), row.base == Base::Missing ? 0u : 1u);
        EXPECT_EQ(FileExists(tmp.Child(L"install/version.dat")), row.extracted);
    }
}

// The mapping that fails where a 32-bit launcher has no room left for the result, after leaving
// its file behind as a failed CreateWritable may.
TEST(DeltaEntry, ResultThatCannotBeMappedIsLeftToTheRepair) {
    TempDir tmp;
    const std::wstring pak = tmp.Child(L"data/game.pak");
    WriteFileBytes(pak, FixtureBytes(L"delta-base.bin"));
    ZipReader reader;
    ASSERT_TRUE(reader.Open(WideToUtf8(test::FixturePath(L"delta.zip"))));
    std::uint64_t askedSize = 0;
    const auto noRoom = [&](const std::wstring& path, std::uint64_t size) {
        askedSize = size;
        WriteFileBytes(path, "left behind");
        return std::optional<MappedFile>();
    };
    EXPECT_EQ(ApplyDeltaEntry(reader, 0, pak, tmp.Child(L"data/game.pak.ombrelta-new"), noRoom),
              DeltaOutcome::ResultNotMapped);
    EXPECT_EQ(askedSize, FixtureBytes(L"delta-result.bin").size());
    EXPECT_EQ(ReadFileBytes(pak), FixtureBytes(L"delta-base.bin"));
    EXPECT_EQ(CountChildren(tmp.Child(L"data")), 1u);
}

// A result whose file cannot be made at all skips the entry the same way.
TEST(DeltaEntry, ResultThatCannotBeMadeSkipsTheEntry) {
    TempDir tmp;
    const std::wstring pak = tmp.Child(L"data/game.pak");
    WriteFileBytes(pak, FixtureBytes(L"delta-base.bin"));
    ASSERT_TRUE(CreateDirectories(tmp.Child(L"data/game.pak.ombrelta-new")));
    EXPECT_TRUE(ExtractArchive(test::FixturePath(L"delta.zip"), tmp.Child(L""), nullptr, DeltaEntries::Applied));
    EXPECT_EQ(ReadFileBytes(pak), FixtureBytes(L"delta-base.bin"));
    EXPECT_TRUE(FileExists(tmp.Child(L"version.dat")));
}

TEST(DeltaEntry, WithoutTheOptionIsWrittenAsAFile) {
    TempDir tmp;
    WriteFileBytes(tmp.Child(L"data/game.pak"), FixtureBytes(L"delta-base.bin"));
    ASSERT_TRUE(ExtractArchive(test::FixturePath(L"delta.zip"), tmp.Child(L"")));
    EXPECT_EQ(ReadFileBytes(tmp.Child(L"data/game.pak")), FixtureBytes(L"delta-base.bin"));
    const std::string entry = ReadFileBytes(tmp.Child(L"data/game.pak.ombrelta-delta"));
    EXPECT_EQ(entry.substr(0, 8), "OMBDELTA");
}

TEST(DeltaHeader, ParsesWhatItFormatsAndRefusesAnythingElse) {
    DeltaHeader header{.baseSize = kDeltaSizeLimit, .resultSize = 5};
    header.baseSha256[0] = 1;
    header.resultSha256[31] = 2;
    const std::vector<std::uint8_t> bytes = FormatDeltaHeader(header);
    ASSERT_EQ(bytes.size(), kDeltaHeaderSize);
    EXPECT_EQ(ParseDeltaHeader(bytes), header);

    struct Change {
        const char* label;
        std::size_t at;
        std::uint8_t value;
    };
    const Change changes[] = {
        {"magic", 0, 'o'},
        {"version", 8, 2},
        {"base size above the limit", 12, 1},
        {"result size above the limit", 52 + 4, 1},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.label);
        std::vector<std::uint8_t> changed = bytes;
        changed[change.at] = change.value;
        EXPECT_FALSE(ParseDeltaHeader(changed).has_value());
    }
    EXPECT_FALSE(ParseDeltaHeader(std::span(bytes).first(kDeltaHeaderSize - 1)).has_value());
}

}  // namespace
}  // namespace ombrelta
