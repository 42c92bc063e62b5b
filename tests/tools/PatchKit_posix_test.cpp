#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "patch/ArchiveExtractor.h"
#include "patch/ZipReader.h"
#include "tests/support/TempDir.h"
#include "tools/content/PatchArchiveCheck.h"
#include "tools/patch/PatchMaker.h"
#include "tools/patch/ZipWriter.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

fs::path Under(const TempDir& dir, const std::string& name) {
    return fs::path(dir.Path()) / name;
}

void Write(const fs::path& file, const std::string& bytes) {
    WriteFileBytes(file.wstring(), bytes);
}

std::string Read(const fs::path& file) {
    return ReadFileBytes(file.wstring());
}

// Bytes deflate cannot shrink, so that a flipped byte in the archive is a flipped byte of output.
std::string NoisyBytes(std::size_t size) {
    std::string bytes;
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes += static_cast<char>(state >> 24);
    }
    return bytes;
}

std::vector<std::string> EntryNamesOf(const fs::path& archive) {
    ZipReader reader;
    EXPECT_TRUE(reader.Open(archive.string()));
    std::vector<std::string> names(reader.EntryCount());
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i)
        EXPECT_TRUE(reader.EntryName(i, names[i]));
    return names;
}

int RunTool(const std::string& arguments) {
    const std::string command = std::string("'") + OMBRELTA_PATCH_TOOL + "' " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MakePatch, CarriesChangedFilesAndTheVersionLastAndBringsTheOldTreeToTheNew) {
    TempDir dir;
    const fs::path oldTree = Under(dir, "old"), newTree = Under(dir, "new");
    const std::string big = NoisyBytes(300000);
    Write(oldTree / "same.txt", "unchanged");
    Write(oldTree / "data/changed.bin", "old bytes");
    Write(oldTree / "gone.txt", "removed");
    Write(oldTree / "version.dat", "6");
    Write(newTree / "same.txt", "unchanged");
    Write(newTree / "data/changed.bin", "new bytes");
    Write(newTree / "data/deep/added.bin", big);
    // What the launcher and the signing tool keep beside the game files never goes into a patch.
    Write(oldTree / "ombrelta-files.sig", "signed list of 6");
    for (const char* own : {"ombrelta-files.sig", "_verify_cache", "_patch_temp/p8.zip.download",
                            "data/changed.bin.download", "data/changed.bin.download.resume", "same.txt.ombrelta-new"})
        Write(newTree / own, "the launcher's own");
    const fs::path archive = Under(dir, "p7.zip");

    const PatchOutcome outcome = MakePatch({oldTree, newTree, 7, archive});

    EXPECT_TRUE(outcome.problems.empty());
    ASSERT_EQ(outcome.warnings.size(), 1u);
    EXPECT_NE(outcome.warnings[0].find("gone.txt"), std::string::npos);
    EXPECT_EQ(EntryNamesOf(archive),
              (std::vector<std::string>{"data/changed.bin", "data/deep/added.bin", "version.dat"}));
    EXPECT_TRUE(VerifyPatchArchive(archive, 7).empty());
    ASSERT_TRUE(ExtractArchive(archive.wstring(), oldTree.wstring() + L"/"));
    EXPECT_EQ(Read(oldTree / "data/changed.bin"), "new bytes");
    EXPECT_EQ(Read(oldTree / "data/deep/added.bin"), big);
    EXPECT_EQ(Read(oldTree / "version.dat"), "7\r\n");
    EXPECT_FALSE(fs::exists(Under(dir, "p7.zip.partial")));
}

// A delta only where it pays: a large file with a small change; a small rewritten file, an added
// one and the version file go whole. The patch applies with the key and verifies against the
// old tree only.
TEST(MakePatch, DeltaOnlyWhereItPaysAndVerifiedAgainstTheOldTree) {
    TempDir dir;
    const fs::path oldTree = Under(dir, "old"), newTree = Under(dir, "new");
    std::string pak = NoisyBytes(200000);
    Write(oldTree / "data/game.pak", pak);
    Write(oldTree / "notes.txt", "a short text");
    pak.replace(1000, 9, "rewritten");
    Write(newTree / "data/game.pak", pak);
    Write(newTree / "notes.txt", "another short text");
    Write(newTree / "added.bin", "new");
    const fs::path archive = Under(dir, "p2.zip");

    const PatchOutcome outcome = MakePatch({oldTree, newTree, 2, archive, true});

    ASSERT_TRUE(outcome.problems.empty());
    EXPECT_EQ(EntryNamesOf(archive), (std::vector<std::string>{"added.bin", "data/game.pak.ombrelta-delta",
                                                               "notes.txt", "version.dat"}));
    EXPECT_EQ(outcome.deltas.deltaFiles, 1u);
    EXPECT_EQ(outcome.deltas.wholeFiles, 2u);
    EXPECT_EQ(outcome.deltas.archiveBytes, fs::file_size(archive));
    EXPECT_GT(outcome.deltas.wholeArchiveBytes, outcome.deltas.archiveBytes + 190000);
    EXPECT_TRUE(VerifyPatchArchive(archive, 2, oldTree).empty());
    const std::vector<std::string> againstNew = VerifyPatchArchive(archive, 2, newTree);
    ASSERT_EQ(againstNew.size(), 1u);
    EXPECT_NE(againstNew[0].find("is missing or not its base"), std::string::npos) << againstNew[0];

    ASSERT_TRUE(ExtractArchive(archive.wstring(), oldTree.wstring() + L"/", nullptr, DeltaEntries::Applied));
    EXPECT_TRUE(Read(oldTree / "data/game.pak") == pak);
    EXPECT_EQ(Read(oldTree / "notes.txt"), "another short text");
}

// A file large enough for several of zstd's jobs: the delta still applies exactly, and progress
// is told from 0 to the file's size.
TEST(MakePatch, DeltaOfALargeFileAppliesAndReportsItsProgress) {
    TempDir dir;
    const fs::path oldTree = Under(dir, "old"), newTree = Under(dir, "new");
    std::string pak = NoisyBytes(20 << 20);
    Write(oldTree / "world.pak", pak);
    for (std::size_t at : {std::size_t{5000}, std::size_t{9} << 20, std::size_t{18} << 20})
        pak.replace(at, 7, "changed");
    pak.insert(std::size_t{17} << 20, "inserted");
    Write(newTree / "world.pak", pak);
    const fs::path archive = Under(dir, "p2.zip");
    std::vector<std::uint64_t> reports;
    PatchRequest request{oldTree, newTree, 2, archive, true};
    request.deltaProgress = [&](const std::string& file, std::uint64_t done, std::uint64_t size) {
        EXPECT_EQ(file, "world.pak");
        EXPECT_EQ(size, pak.size());
        reports.push_back(done);
    };

    const PatchOutcome outcome = MakePatch(request);

    ASSERT_TRUE(outcome.problems.empty());
    EXPECT_EQ(outcome.deltas.deltaFiles, 1u);
    EXPECT_GT(outcome.deltas.wholeArchiveBytes, std::uint64_t{19} << 20);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front(), 0u);
    EXPECT_EQ(reports.back(), pak.size());
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    ASSERT_TRUE(ExtractArchive(archive.wstring(), oldTree.wstring() + L"/", nullptr, DeltaEntries::Applied));
    EXPECT_TRUE(Read(oldTree / "world.pak") == pak);
}

TEST(MakePatch, RefusesBadVersionsAndNamesAndWritesNothing) {
    struct Row {
        std::int64_t version;
        const char* newFile;
        const char* problem;
    };
    const Row rows[] = {
        {0, "a.txt", "not between 1 and 65535"},
        {65536, "a.txt", "not between 1 and 65535"},
        {3, "c:evil.dll", "unsafe path"},
        {3, "VERSION.DAT", "without regard to case"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.newFile);
        TempDir dir;
        Write(Under(dir, "new") / row.newFile, "x");
        fs::create_directories(Under(dir, "old"));
        const PatchOutcome outcome = MakePatch({Under(dir, "old"), Under(dir, "new"), row.version, Under(dir, "p.zip")});
        ASSERT_EQ(outcome.problems.size(), 1u);
        EXPECT_NE(outcome.problems[0].find(row.problem), std::string::npos) << outcome.problems[0];
        EXPECT_FALSE(fs::exists(Under(dir, "p.zip")));
        EXPECT_FALSE(fs::exists(Under(dir, "p.zip.partial")));
    }
}

TEST(VerifyPatchArchive, NamesEveryReasonTheLauncherWouldFail) {
    struct Row {
        const char* label;
        std::vector<std::pair<std::string, std::string>> entries;
        bool damage;
        const char* problem;  // a part of the only problem, or null for none
    };
    const std::string noise = NoisyBytes(2000);
    const Row rows[] = {
        {"good", {{"data/a.bin", noise}, {"version.dat", "5\n"}}, false, nullptr},
        {"folders after backslashes", {{"data\\b.bin", noise}, {"version.dat", "5\n"}}, false, nullptr},
        {"other version", {{"version.dat", "4\n"}}, false, "holds 4, not 5"},
        {"no version", {{"data/a.bin", noise}}, false, "no version.dat"},
        {"no number", {{"version.dat", "five\n"}}, false, "no version above 0"},
        {"two versions", {{"version.dat", "5\n"}, {"./Version.dat", "5\n"}}, false, "more than one"},
        {"unsafe name", {{"../evil.dll", "x"}, {"version.dat", "5\n"}}, false, "unsafe path"},
        {"damaged data", {{"data/a.bin", noise}, {"version.dat", "5\n"}}, true, "CRC-32"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        const fs::path archive = Under(dir, "p.zip");
        ZipWriter writer(archive);
        for (const auto& [name, bytes] : row.entries)
            writer.AddText(name, bytes);
        writer.Close();
        if (row.damage) {
            std::fstream file(archive, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(1000);
            file.put('\x5A');
        }
        const std::vector<std::string> problems = VerifyPatchArchive(archive, 5);
        if (row.problem == nullptr) {
            EXPECT_TRUE(problems.empty());
            continue;
        }
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(row.problem), std::string::npos) << problems[0];
    }
}

TEST(VerifyPatchArchive, RefusesWhatIsNoZip) {
    TempDir dir;
    Write(Under(dir, "p.zip"), "not a zip at all, only text");
    const std::vector<std::string> problems = VerifyPatchArchive(Under(dir, "p.zip"), 1);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("not a readable zip"), std::string::npos);
}

TEST(PatchTool, ExitCodes) {
    TempDir dir;
    Write(Under(dir, "old/a.txt"), "1");
    Write(Under(dir, "new/a.txt"), "2");
    const std::string trees = " --from '" + Under(dir, "old").string() + "' --to '" + Under(dir, "new").string() + "'";
    const std::string archive = "'" + Under(dir, "p.zip").string() + "'";
    EXPECT_EQ(RunTool("make" + trees + " --version 9 --out " + archive), 0);
    EXPECT_EQ(RunTool("verify " + archive + " --version 9"), 0);
    EXPECT_EQ(RunTool("verify " + archive + " --version 8"), 2);
    EXPECT_EQ(RunTool("make" + trees + " --version 70000 --out " + archive), 2);
    EXPECT_EQ(RunTool("make" + trees + " --out " + archive), 2);
    EXPECT_EQ(RunTool("verify " + archive), 2);
}

}  // namespace
}  // namespace ombrelta::patchkit
