// The mistakes of publishing that used to look like success: each now fails --check with exit
// code 2 and is logged by a running server, at start and at every reload.
#include <csignal>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"
#include "tools/patch/FileListSigner.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

struct Check {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Check RunCheck(const fs::path& root) {
    const fs::path log = root.parent_path() / "check.log";
    ChildProcess server({ServerExe(), "--root", PathArg(root), "--check"}, "", PathArg(log));
    Check result;
    result.out = server.ReadToEnd(kChildTimeout);
    result.exitCode = server.Wait(kChildTimeout);
    result.err = ReadFile(log);
    return result;
}

void ExpectRefused(const fs::path& root, const std::string& line) {
    const Check check = RunCheck(root);
    EXPECT_EQ(check.exitCode, 2) << check.out << check.err;
    EXPECT_NE(check.err.find(line), std::string::npos) << check.err;
}

void SignFiles(const fs::path& root, std::uint16_t version) {
    ASSERT_TRUE(
        patchkit::SignGameFiles(root / "files", patchkit::P256Signer::Generate(), version).problems.empty());
}

// files/ not replaced by the new tree: the launcher would install the patch, then put the old
// file back. Only the newest patch carrying a path counts.
TEST(PublishMistakesTest, PatchesThatDifferFromTheServedFilesFailTheCheck) {
    const std::string kDiffers = "patch archive p2.zip brings Data/Map.dat, which differs from the served "
                                 "files/data/map.dat";
    struct Row {
        const char* what;
        std::string served;
        std::string newestBrings;
        bool differs;
    } rows[] = {
        {"files not replaced", "v1", "v2", true},
        {"files replaced", "v2", "v2", false},
        {"same size, other bytes", "v3", "v2", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir temp;
        const fs::path root = fs::path(temp.Path()) / "server";
        MakeZip(root / "patches" / "p1.zip", {{"version.dat", "1\n"}, {"data/map.dat", "v1"}});
        MakeZip(root / "patches" / "p2.zip", {{"version.dat", "2\n"}, {"Data/Map.dat", row.newestBrings}});
        WriteTree(root / "files", {{"data/map.dat", row.served}});
        const Check check = RunCheck(root);
        EXPECT_EQ(check.exitCode, row.differs ? 2 : 0) << check.err;
        EXPECT_EQ(check.err.find(kDiffers) != std::string::npos, row.differs) << check.err;
    }

    // A delta whose result is not the served file, and a running server that says so.
    TempDir temp;
    const fs::path root = fs::path(temp.Path()) / "server";
    MakeZip(root / "patches" / "p1.zip", {{"version.dat", "1\n"}});
    WriteFile(root / "patches" / "p2.zip", ReadFileBytes(TestDataDir() + L"../patch/fixtures/delta.zip"));
    WriteTree(root / "files", {{"data/game.pak", "not the delta's result"}});
    const std::string line = "patch archive p2.zip brings data/game.pak as a delta, which differs from the served "
                             "files/data/game.pak";
    ExpectRefused(root, line);
    ServerProcess server(PathArg(root), {}, PathArg(fs::path(temp.Path()) / "server.log"));
    EXPECT_TRUE(server.WaitForLog("ombrelta-server: warning: " + line));
    EXPECT_EQ(server.Stop(), 0);
}

TEST(PublishMistakesTest, AMissingOrMisspeltFolderFailsTheCheck) {
    struct Row {
        const char* what;
        std::function<fs::path(const fs::path& root)> build;  // gives the --root to check
        std::string line;
    } rows[] = {
        {"--root one folder too deep",
         [](const fs::path& root) {
             WriteTree(root / "files", {{"a.txt", "a"}});
             return root / "files";
         },
         "offers no patch and no game file"},
        {"Files/ for files/",
         [](const fs::path& root) {
             MakeZip(root / "patches" / "p1.zip", {{"version.dat", "1\n"}});
             WriteTree(root / "Files", {{"a.txt", "a"}});
             return root;
         },
         "no game file is offered (there is Files/: the name is files in small letters)"},
        {"no patches/",
         [](const fs::path& root) {
             WriteTree(root / "files", {{"a.txt", "a"}});
             return root;
         },
         "no folder patches/ in "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir temp;
        ExpectRefused(row.build(fs::path(temp.Path()) / "server"), row.line);
    }
}

// Both folders moved away and a reload asked for: players keep getting the previous content.
TEST(PublishMistakesTest, AReloadThatFindsNothingKeepsThePreviousContent) {
    TempDir temp;
    const fs::path root = fs::path(temp.Path()) / "server";
    MakeZip(root / "patches" / "p1.zip", {{"version.dat", "1\n"}, {"a.txt", "a"}});
    WriteTree(root / "files", {{"a.txt", "a"}});
    ServerProcess server(PathArg(root), {}, PathArg(fs::path(temp.Path()) / "server.log"));
    ASSERT_NE(server.Port(), 0);
    fs::rename(root, fs::path(temp.Path()) / "moved");
    fs::create_directories(root);
    server.Signal(SIGHUP);
    ASSERT_TRUE(server.WaitForLog("reload refused: the content is empty now; still serving the previous content"));

    const fs::path install = fs::path(temp.Path()) / "install";
    WriteLauncherConfig(install, server.Port());
    const RunResult run = RunToEnd({OMBRELTA_CHECK_EXE}, PathArg(install), kChildTimeout);
    EXPECT_EQ(run.exitCode, 0) << run.out << server.Log();
    EXPECT_EQ(ReadFile(install / "a.txt"), "a");
    EXPECT_EQ(server.Stop(), 0);
}

// A version gap, ignored names and a stale or vanished signed list: logged at start and at every
// reload, since a launcher with a publickey fails on them while the server serves on.
TEST(PublishMistakesTest, GapsIgnoredNamesAndStaleListsAreLoggedAtEveryLoad) {
    TempDir temp;
    const fs::path root = fs::path(temp.Path()) / "server";
    MakeZip(root / "patches" / "p1.zip", {{"version.dat", "1\n"}});
    MakeZip(root / "patches" / "p3.zip", {{"version.dat", "3\n"}});
    for (const char* name : {"patch1.zip ", "patch.zip."})
        WriteFile(root / "patches" / name, "a patch under a name the server does not take");
    WriteTree(root / "files", {{"data/a.txt", "a"}});
    SignFiles(root, 3);
    const std::vector<std::string> always = {
        "no patch brings version 2: a launcher at 1 would get patch archive p3.zip for version 3",
        "patches/\"patch.zip.\" is ignored: its name ends in blanks or dots after \".zip\"",
        "patches/\"patch1.zip \" is ignored: its name ends in blanks or dots after \".zip\""};
    for (const std::string& line : always)
        ExpectRefused(root, line);
    ServerProcess server(PathArg(root), {}, PathArg(fs::path(temp.Path()) / "server.log"));
    ASSERT_NE(server.Port(), 0);
    for (const std::string& line : always)
        EXPECT_TRUE(server.WaitForLog("ombrelta-server: warning: " + line));

    WriteFile(root / "files" / "data/a.txt", "b");
    const std::string stale = "ombrelta-files.sig is stale: data/a.txt changed since it was signed";
    ExpectRefused(root, stale);
    server.Signal(SIGHUP);
    EXPECT_TRUE(server.WaitForLog("ombrelta-server: warning: " + stale));

    fs::remove(root / "files" / "ombrelta-files.sig");
    server.Signal(SIGHUP);
    EXPECT_TRUE(server.WaitForLog("ombrelta-server: warning: ombrelta-files.sig is gone, though it was served "
                                  "before: launchers with a publickey now fail every file check"));
    EXPECT_EQ(server.Stop(), 0);
    const std::string logged = server.Log();
    for (const std::string& line : always) {
        std::size_t count = 0;
        for (std::size_t at = logged.find(line); at != std::string::npos; at = logged.find(line, at + 1))
            ++count;
        EXPECT_EQ(count, 3u) << line;
    }
}

}  // namespace
}  // namespace ombrelta::test
