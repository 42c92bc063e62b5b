// Content the launcher would refuse is refused at start, and --check says so without serving.
#include <algorithm>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "protocol/LauncherApi.h"
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

Check RunCheck(const fs::path& root, const fs::path& log, bool checkOnly) {
    std::vector<std::string> argv{ServerExe(), "--root", PathArg(root), "--listen", "127.0.0.1:0"};
    if (checkOnly)
        argv.push_back("--check");
    ChildProcess server(argv, "", PathArg(log));
    Check result;
    result.out = checkOnly ? server.ReadToEnd(kChildTimeout) : server.ReadLine(kChildTimeout).value_or("");
    result.exitCode = server.Wait(kChildTimeout);
    result.err = ReadFile(log);
    return result;
}

TEST(ServerContentRulesTest, RefusesNamesTheLauncherRefusesOrConfuses) {
    struct Row {
        const char* what;
        std::function<void(const fs::path& files)> build;
        std::vector<std::string> listed;
    } rows[] = {
        {"backslashes climbing up",
         [](const fs::path& files) { WriteFile(files / "..\\..\\evil.dll", "x"); },
         {"game file path ..\\x5C..\\x5Cevil.dll is refused by the launcher as an unsafe path"}},
        {"drive prefix",
         [](const fs::path& files) { WriteFile(files / "c:win.ini", "x"); },
         {"game file path c:win.ini is refused by the launcher as an unsafe path"}},
        {"Windows device name",
         [](const fs::path& files) { WriteFile(files / "data" / "Con.txt", "x"); },
         {"game file path data/Con.txt is refused by the launcher as an unsafe path"}},
        {"broken UTF-8",
         [](const fs::path& files) { WriteFile(files / "a\xFF.bin", "x"); },
         {"game file path a\\xFF.bin is not valid UTF-8"}},
        {"line feed",
         [](const fs::path& files) { WriteFile(files / "a\nforged.txt", "x"); },
         {"game file path a\\x0Aforged.txt holds a control character"}},
        {"letter case, every offender listed",
         [](const fs::path& files) {
             WriteTree(files, {{"Data/a.txt", "1"}, {"data/a.txt", "2"}, {"c:x", "3"}});
         },
         {"game file paths equal without regard to case: Data/a.txt data/a.txt",
          "game file path c:x is refused"}},
        {"patch name with a drive",
         [](const fs::path& files) {
             MakeZip(files.parent_path() / "patches" / "c:p1.zip", {{"version.dat", "2"}});
         },
         {"patch archive name c:p1.zip is refused by the launcher as an unsafe path"}},
        {"dangling link",
         [](const fs::path& files) {
             fs::create_directories(files / "sub");
             fs::create_symlink("missing.bin", files / "sub" / "gone.bin");
         },
         {"dangling link: sub/gone.bin"}},
        {"dangling link in place of a folder",
         [](const fs::path& files) {
             fs::create_directories(files.parent_path());
             fs::create_directory_symlink("elsewhere", files.parent_path() / "patches");
         },
         {"dangling link: patches"}},
        {"link loop",
         [](const fs::path& files) {
             fs::create_directories(files / "sub");
             fs::create_directory_symlink("..", files / "sub" / "up");
         },
         {"link loop: sub/up leads back to a folder above it"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir temp;
        fs::path root = fs::path(temp.Path()) / "server";
        row.build(root / "files");
        for (bool checkOnly : {true, false}) {
            Check result = RunCheck(root, fs::path(temp.Path()) / "server.log", checkOnly);
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_EQ(result.out, "");
            for (const std::string& line : row.listed)
                EXPECT_NE(result.err.find(line), std::string::npos) << result.err;
        }
    }
}

TEST(ServerContentRulesTest, CheckPassesGoodContentAndLinksToFoldersAreServed) {
    TempDir temp;
    fs::path root = fs::path(temp.Path()) / "server";
    WriteTree(root / "files", {{"a.txt", "a"}});
    fs::create_directories(root / "patches");
    WriteTree(fs::path(temp.Path()) / "elsewhere", {{"inner.bin", "inner"}});
    fs::create_directory_symlink(fs::path(temp.Path()) / "elsewhere", root / "files" / "linked");

    Check check = RunCheck(root, fs::path(temp.Path()) / "check.log", true);
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, "content good: 0 patches and 2 game files\n");

    ServerProcess server(PathArg(root), {}, PathArg(fs::path(temp.Path()) / "server.log"));
    ASSERT_NE(server.Port(), 0);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(L"127.0.0.1", server.Port()));
    std::vector<HashEntry> list = api.GetHashList("UNKNOWN");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].path, "linked/inner.bin");
    bool last = false;
    std::vector<std::uint8_t> chunk = api.GetFileChunk(1, 0, last);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), "inner");
    EXPECT_EQ(server.Stop(), 0);
}

// The deep patch check of --check only: a damaged entry and a gap in the versions are served at
// start (the launcher finds out), but the operator's check names them.
TEST(ServerContentRulesTest, CheckReadsEveryPatchAsTheLauncherWillAndWantsOneChain) {
    TempDir temp;
    fs::path root = fs::path(temp.Path()) / "server";
    const std::string noise = PseudoRandomBytes(5000, 31);
    MakeZip(root / "patches" / "p1.zip", {{"version.dat", "1\n"}, {"data/a.bin", noise}});
    MakeZip(root / "patches" / "p2.zip", {{"version.dat", "2\n"}, {"data/a.bin", noise}});
    MakeZip(root / "patches" / "p4.zip", {{"version.dat", "4\n"}});
    std::string damaged = ReadFile(root / "patches" / "p2.zip");
    damaged[2000] ^= 0x5A;
    WriteFile(root / "patches" / "p2.zip", damaged);

    Check check = RunCheck(root, fs::path(temp.Path()) / "check.log", true);
    EXPECT_EQ(check.exitCode, 2);
    EXPECT_EQ(check.out, "");
    EXPECT_NE(check.err.find("patch archive p2.zip: entry \"data/a.bin\" does not inflate"), std::string::npos)
        << check.err;
    EXPECT_NE(check.err.find("no patch brings version 3: a launcher at 2 would get patch archive p4.zip"),
              std::string::npos)
        << check.err;
    EXPECT_EQ(check.err.find("p1.zip"), std::string::npos) << check.err;
}

// Signatures only draw warnings: the server cannot know whether its launchers require them.
TEST(ServerContentRulesTest, CheckWarnsAboutUnsignedAndStaleSignaturesWithoutFailing) {
    const std::string signedZip = ReadFileBytes(TestDataDir() + L"../patch/fixtures/signed.zip");
    std::string changed = signedZip;
    ChangeStoredByte(changed, 1, 0);
    struct Row {
        const char* what;
        std::string p5;
        bool unsignedP6;
        std::vector<std::string> warnings;
    } rows[] = {
        {"signed", signedZip, false, {}},
        {"one unsigned", signedZip, true, {"ombrelta-server: warning: patch archive p6.zip: not signed"}},
        {"stale", changed, false, {"ombrelta-server: warning: patch archive p5.zip: ombrelta.sig is stale"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir temp;
        const fs::path root = fs::path(temp.Path()) / "server";
        WriteFile(root / "patches" / "p5.zip", row.p5);
        fs::create_directories(root / "files");
        if (row.unsignedP6)
            MakeZip(root / "patches" / "p6.zip", {{"version.dat", "6\n"}});
        Check check = RunCheck(root, fs::path(temp.Path()) / "check.log", true);
        EXPECT_EQ(check.exitCode, 0) << check.err;
        EXPECT_TRUE(check.out.starts_with("content good: ")) << check.out;
        std::size_t lines = 0;
        for (const std::string& warning : row.warnings) {
            EXPECT_NE(check.err.find(warning), std::string::npos) << check.err;
            ++lines;
        }
        EXPECT_EQ(std::count(check.err.begin(), check.err.end(), '\n'), static_cast<std::ptrdiff_t>(lines))
            << check.err;
    }

    // Content that signs nothing gets one line, not one per patch.
    TempDir temp;
    const fs::path root = fs::path(temp.Path()) / "server";
    MakeZip(root / "patches" / "p1.zip", {{"version.dat", "1\n"}});
    MakeZip(root / "patches" / "p2.zip", {{"version.dat", "2\n"}});
    fs::create_directories(root / "files");
    Check check = RunCheck(root, fs::path(temp.Path()) / "check.log", true);
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.err, "ombrelta-server: warning: no patch is signed (no ombrelta.sig): launchers with a "
                         "publickey refuse every patch\n");
}

// A delta entry for a file the server does not serve leaves a launcher with a modified copy
// without a repair: a warning, since the patch is sound.
TEST(ServerContentRulesTest, CheckWarnsOfADeltaForAFileThatIsNotAGameFile) {
    const std::string delta = ReadFileBytes(TestDataDir() + L"../patch/fixtures/delta.zip");
    for (const bool served : {true, false}) {
        SCOPED_TRACE(served ? "served" : "not served");
        TempDir temp;
        const fs::path root = fs::path(temp.Path()) / "server";
        MakeZip(root / "patches" / "p1.zip", {{"version.dat", "1\n"}});
        WriteFile(root / "patches" / "p2.zip", delta);
        // Served as the delta makes it, so that the patches agree with the game files.
        WriteFile(root / "files" / (served ? "DATA/Game.pak" : "data/other.pak"),
                  ReadFileBytes(TestDataDir() + L"../patch/fixtures/delta-result.bin"));
        Check check = RunCheck(root, fs::path(temp.Path()) / "check.log", true);
        EXPECT_EQ(check.exitCode, 0) << check.err;
        const std::string warning = "ombrelta-server: warning: patch archive p2.zip: delta entry for "
                                    "\"data/game.pak\", which is not among the game files";
        EXPECT_EQ(check.err.find(warning) != std::string::npos, !served) << check.err;
    }
}

// Signed game files in --check: no list is a warning, since the server cannot know whether
// launchers require the signature; a list that no longer matches the files is a fault.
TEST(ServerContentRulesTest, CheckWarnsOfUnsignedAndRefusesStaleGameFiles) {
    struct Row {
        const char* what;
        bool sign;
        std::function<void(const fs::path& files)> afterSigning;
        std::string line;  // "" for none
        bool fault;
    } rows[] = {
        {"signed", true, [](const fs::path&) {}, "", false},
        {"unsigned", false, [](const fs::path&) {},
         "warning: the game files are not signed: no ombrelta-files.sig", false},
        {"changed", true, [](const fs::path& files) { WriteFile(files / "data/a b.txt", "B"); },
         "ombrelta-files.sig is stale: data/a b.txt changed since it was signed", true},
        {"added", true, [](const fs::path& files) { WriteFile(files / "new.txt", "n"); },
         "ombrelta-files.sig is stale: new.txt is not signed", true},
        {"removed", true, [](const fs::path& files) { fs::remove(files / "data/a b.txt"); },
         "ombrelta-files.sig is stale: data/a b.txt is signed but no longer served", true},
        {"malformed", true, [](const fs::path& files) { WriteFile(files / "ombrelta-files.sig", "x"); },
         "ombrelta-files.sig cannot be read: Malformed signed file list", true},
        {"another version", true,
         [](const fs::path& files) {
             ASSERT_TRUE(
                 patchkit::SignGameFiles(files, patchkit::P256Signer::Generate(), 4).problems.empty());
         },
         "ombrelta-files.sig is signed for version 4, the newest patch brings 0: sign the files again", true},
        {"no version", true,
         [](const fs::path& files) {
             std::string list = ReadFile(files / "ombrelta-files.sig");
             list.replace(0, list.find('\n', 17) + 1, "ombrelta-files 1\n");
             WriteFile(files / "ombrelta-files.sig", list);
         },
         "ombrelta-files.sig has no version: launchers with a publickey refuse it; sign the files again", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir temp;
        const fs::path root = fs::path(temp.Path()) / "server";
        WriteTree(root / "files", {{"data/a b.txt", "a"}, {"z.bin", "z"}});
        fs::create_directories(root / "patches");
        if (row.sign) {
            ASSERT_TRUE(patchkit::SignGameFiles(root / "files", patchkit::P256Signer::Generate(), 0)
                            .problems.empty());
        }
        row.afterSigning(root / "files");
        Check check = RunCheck(root, fs::path(temp.Path()) / "check.log", true);
        EXPECT_EQ(check.exitCode, row.fault ? 2 : 0) << check.err;
        EXPECT_EQ(check.out.starts_with("content good: "), !row.fault) << check.out;
        if (row.line.empty())
            EXPECT_EQ(check.err.find("ombrelta-files.sig"), std::string::npos) << check.err;
        else
            EXPECT_NE(check.err.find("ombrelta-server: " + row.line + "\n"), std::string::npos) << check.err;
    }
}

}  // namespace
}  // namespace ombrelta::test
