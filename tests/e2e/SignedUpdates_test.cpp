// Signed updates against a real server: an older signed list replayed with its older files and a
// list signed with the second of two keys, natively and under Wine; and the server's own check
// with a launcher's key, by the native server and the Windows one under Wine.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tools/patch/FileListSigner.h"
#include "tools/patch/PatchSigner.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;
using patchkit::P256Signer;

const std::vector<FileSpec> kOldFiles = {{"Tarvesk.exe", PseudoRandomBytes(4000, 51)},
                                         {"data/map.dat", "old map\n"}};
const std::vector<FileSpec> kNewFiles = {{"Tarvesk.exe", PseudoRandomBytes(4000, 52)},
                                         {"data/map.dat", "new map\n"}};

void WriteSignedFiles(const fs::path& root,
                      const std::vector<FileSpec>& files,
                      const P256Signer& signer,
                      std::uint16_t version) {
    WriteTree(root / "files", files);
    ASSERT_TRUE(patchkit::SignGameFiles(root / "files", signer, version).problems.empty());
}

std::string KeyList(const std::vector<const P256Signer*>& signers) {
    std::string list;
    for (const P256Signer* signer : signers)
        list += (list.empty() ? "" : ",") + EncodeBase64(signer->PublicKey());
    return list;
}

std::string KeyLine(const std::vector<const P256Signer*>& signers) {
    return "publickey=" + KeyList(signers) + "\n";
}

// Every file of the installation but its settings, which name each test server's port.
std::map<std::string, std::string> Snapshot(const fs::path& install) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(install)) {
        const std::string name = fs::relative(entry.path(), install).generic_string();
        if (name != "Ombrel.dat")
            files[name] = entry.is_directory() ? "<folder>" : ReadFile(entry.path());
    }
    return files;
}

RunResult CheckAgainst(const std::vector<std::string>& checker,
                       const fs::path& root,
                       const fs::path& install,
                       const std::string& keyLine) {
    ServerProcess server(PathArg(root), {"--chunk-size", "1000"}, PathArg(root.string() + ".log"));
    EXPECT_NE(server.Port(), 0);
    WriteLauncherConfig(install, server.Port(), keyLine);
    RunResult run = RunToEnd(checker, PathArg(install), kChildTimeout);
    EXPECT_EQ(server.Stop(), 0);
    return run;
}

void RunReplay(const std::vector<std::string>& checker) {
    TempDir temp;
    const fs::path dir(temp.Path()), install = dir / "install";
    const P256Signer signer = P256Signer::Generate();
    WriteSignedFiles(dir / "current", kNewFiles, signer, 2);
    WriteSignedFiles(dir / "replay", kOldFiles, signer, 1);
    WriteFile(install / "version.dat", "2\r\n");
    const RunResult current = CheckAgainst(checker, dir / "current", install, KeyLine({&signer}));
    ASSERT_TRUE(current.out.ends_with("100\tReady.\n")) << current.out;
    const std::map<std::string, std::string> before = Snapshot(install);

    const RunResult replay = CheckAgainst(checker, dir / "replay", install, KeyLine({&signer}));
    EXPECT_EQ(replay.exitCode, 1);
    EXPECT_TRUE(replay.out.ends_with("error\tSignature check failed: ombrelta-files.sig\n")) << replay.out;
    EXPECT_EQ(Snapshot(install), before);

    // The same old files signed for the installed version are the operator's choice, and taken.
    WriteSignedFiles(dir / "replay", kOldFiles, signer, 2);
    const RunResult resigned = CheckAgainst(checker, dir / "replay", install, KeyLine({&signer}));
    EXPECT_TRUE(resigned.out.ends_with("100\tReady.\n")) << resigned.out;
    EXPECT_EQ(ReadFile(install / "data/map.dat"), "old map\n");
}

void RunSecondKey(const std::vector<std::string>& checker) {
    TempDir temp;
    const fs::path dir(temp.Path());
    const P256Signer oldKey = P256Signer::Generate(), newKey = P256Signer::Generate();
    WriteSignedFiles(dir / "server", kNewFiles, newKey, 0);
    const RunResult both = CheckAgainst(checker, dir / "server", dir / "both", KeyLine({&oldKey, &newKey}));
    EXPECT_EQ(both.exitCode, 0) << both.out;
    EXPECT_TRUE(both.out.ends_with("100\tReady.\n")) << both.out;
    EXPECT_EQ(ReadFile(dir / "both/Tarvesk.exe"), kNewFiles[0].second);

    const RunResult oldOnly = CheckAgainst(checker, dir / "server", dir / "old", KeyLine({&oldKey}));
    EXPECT_TRUE(oldOnly.out.ends_with("error\tSignature check failed: ombrelta-files.sig\n")) << oldOnly.out;
    EXPECT_FALSE(fs::exists(dir / "old/Tarvesk.exe"));
}

TEST(SignedUpdates, ReplayedOlderListIsRefusedAndNothingWritten) {
    RunReplay({OMBRELTA_CHECK_EXE});
}

TEST(SignedUpdates, ReplayedOlderListIsRefusedUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunReplay({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

TEST(SignedUpdates, ListSignedWithTheSecondOfTwoKeysIsAccepted) {
    RunSecondKey({OMBRELTA_CHECK_EXE});
}

TEST(SignedUpdates, ListSignedWithTheSecondOfTwoKeysIsAcceptedUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunSecondKey({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

struct CheckRow {
    const char* name;
    bool patchByOther;  // the patch signed with the other key
    std::uint16_t listVersion;
    bool bothKeys;  // --public-key names the other key first, then the right one
    int exitCode;
    std::vector<std::string> named;
};

void RunServerChecks(const std::vector<std::string>& server) {
    const P256Signer key = P256Signer::Generate(), other = P256Signer::Generate();
    const std::vector<CheckRow> rows = {
        {"good content", false, 1, false, 0, {}},
        {"good content, two keys", false, 1, true, 0, {}},
        {"patch signed with another key",
         true,
         1,
         false,
         2,
         {"patch archive p1.zip: not signed for version 1"}},
        {"list below the newest patch", false, 0, false, 2, {"ombrelta-files.sig is for version 0"}},
    };
    for (const CheckRow& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir temp;
        const fs::path root = fs::path(temp.Path()) / "server";
        MakeZip(root / "patches/p1.zip", {{"version.dat", "1\r\n"}, {"readme.txt", "patched\n"}});
        ASSERT_TRUE(
            patchkit::SignPatch(root / "patches/p1.zip", row.patchByOther ? other : key, 1).problems.empty());
        WriteSignedFiles(root, kNewFiles, key, row.listVersion);
        std::vector<std::string> argv = server;
        argv.insert(argv.end(), {"--root", PathArg(root), "--check", "--public-key",
                                 row.bothKeys ? KeyList({&other, &key}) : KeyList({&key})});
        ChildProcess check(argv, "", PathArg(fs::path(temp.Path()) / "check.log"));
        const std::string out = check.ReadToEnd(kChildTimeout);
        EXPECT_EQ(check.Wait(kChildTimeout), row.exitCode);
        const std::string err = ReadFile(fs::path(temp.Path()) / "check.log");
        EXPECT_EQ(out.starts_with("content good: "), row.exitCode == 0) << out << err;
        for (const std::string& text : row.named)
            EXPECT_NE(err.find(text), std::string::npos) << err;
    }
}

TEST(SignedUpdates, ServerCheckWithAPublicKey) {
    RunServerChecks({ServerExe()});
}

TEST(SignedUpdates, ServerCheckWithAPublicKeyUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_SERVER_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_SERVER_EXE;
    RunServerChecks({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_SERVER_EXE});
}

}  // namespace
}  // namespace ombrelta::test
