// ombrelta-patch publish end to end: three updates in a row into the root of a running server,
// each reloading it and each followed by a launcher run; a publication cut short at each of its
// steps; and one whose content check fails, undone.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tools/patch/P256Signer.h"
#include "tools/patch/Publisher.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;
using patchkit::PublishStep;

// The game at each release: a changed program, a file added, a map edited in the middle.
std::vector<FileSpec> Release(int release) {
    std::string map = PseudoRandomBytes(200000, 7);
    if (release >= 2)
        map.replace(90000, 3000, PseudoRandomBytes(3000, 8));
    std::vector<FileSpec> files{{"Tarvesk.exe", PseudoRandomBytes(5000, release == 3   ? 3
                                                                        : release >= 1 ? 2
                                                                                       : 1)},
                                {"data/map.dat", map}};
    if (release >= 1)
        files.emplace_back("data/lang/en.txt", "greeting=Welcome\r\n");
    return files;
}

std::string Md5Text(const std::string& bytes) {
    return BytesToHex(
        *Md5Hasher::Of(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
}

void ExpectInstalled(const fs::path& install, const fs::path& served, int version) {
    const std::string installed = ReadFile(install / "version.dat");
    EXPECT_EQ(installed.substr(0, installed.find('\r')), std::to_string(version));
    for (const auto& entry : fs::recursive_directory_iterator(served)) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(ReadFile(install / fs::relative(entry.path(), served)), ReadFile(entry.path()))
                << entry.path();
        }
    }
}

RunResult Tool(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{OMBRELTA_PATCH_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunToEnd(argv, ".", kChildTimeout);
}

// A launcher at version 0 against a fresh server on root: "Ready." with every served file.
void ExpectFreshInstallUpdates(const fs::path& root, const fs::path& install, const std::string& settings) {
    fs::remove_all(install);
    WriteFile(install / "version.dat", "0\r\n");
    ServerProcess server(PathArg(root), {}, PathArg(root.string() + ".log"));
    WriteLauncherConfig(install, server.Port(), settings);
    const RunResult run = RunToEnd({OMBRELTA_CHECK_EXE}, PathArg(install), kChildTimeout);
    EXPECT_TRUE(run.out.ends_with("100\tReady.\n")) << run.out;
    EXPECT_EQ(server.Stop(), 0);
}

// Every object the server offers lies in the mirror tree with the same bytes.
void ExpectMirrored(const fs::path& mirror, const fs::path& root) {
    for (const auto& entry : fs::directory_iterator(root / "patches"))
        EXPECT_EQ(ReadFile(mirror / "patches" / entry.path().filename()), ReadFile(entry.path()));
    for (const auto& entry : fs::recursive_directory_iterator(root / "files")) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(ReadFile(mirror / "md5" / Md5Text(ReadFile(entry.path()))), ReadFile(entry.path()));
        }
    }
}

void RunThreeUpdates(const std::vector<std::string>& checker) {
    TempDir temp;
    const fs::path dir(temp.Path()), root = dir / "root", install = dir / "install", key = dir / "key.pem";
    WriteTree(root / "files", Release(0));
    WriteFile(install / "version.dat", "0\r\n");
    const patchkit::P256Signer signer = patchkit::P256Signer::Generate();
    signer.Save(key);
    const std::string pidFile = PathArg(dir / "server.pid");
    ServerProcess server(PathArg(root), {}, PathArg(dir / "server.log"),
                         {"/bin/sh", "-c", "echo $$ > '" + pidFile + "'; exec \"$0\" \"$@\"", ServerExe()});
    for (int version = 1; version <= 3; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        const fs::path tree = dir / ("release" + std::to_string(version));
        WriteTree(tree, Release(version));
        std::vector<std::string> arguments{
            "publish",     "--root",    PathArg(root),           "--to",
            PathArg(tree), "--version", std::to_string(version), "--reload-pid",
            pidFile,       "--mirror",  PathArg(dir / "mirror")};
        if (version == 2)
            arguments.push_back("--delta");
        if (version == 3) {
            // Launchers with the key install every patch from 1, so the older ones are signed first.
            for (const char* older : {"patch1.zip", "patch2.zip"})
                ASSERT_EQ(Tool({"sign", PathArg(root / "patches" / older), "--key", PathArg(key)}).exitCode,
                          0);
            arguments.insert(arguments.end(), {"--sign-key", PathArg(key)});
        }
        const RunResult published = Tool(arguments);
        ASSERT_EQ(published.exitCode, 0) << published.out;
        EXPECT_TRUE(published.out.ends_with("published version " + std::to_string(version) + "\n"))
            << published.out;
        ASSERT_TRUE(server.WaitForLog("new connections get " + std::to_string(version) + " patches and " +
                                      std::to_string(Release(version).size() + (version == 3 ? 1 : 0)) +
                                      " game files, newest version " + std::to_string(version)));
        const std::string keyLine =
            version == 3 ? "publickey=" + EncodeBase64(signer.PublicKey()) + "\n" : "";
        WriteLauncherConfig(install, server.Port(), "delta=1\n" + keyLine);
        const RunResult run = RunToEnd(checker, PathArg(install), kChildTimeout);
        EXPECT_TRUE(run.out.ends_with("100\tReady.\n")) << run.out;
        ExpectInstalled(install, root / "files", version);
        ExpectMirrored(dir / "mirror", root);
    }
    EXPECT_EQ(ReadFile(root / "files.previous/Tarvesk.exe"), Release(2)[0].second);
    EXPECT_EQ(server.Stop(), 0);
}

TEST(Publish, ThreeUpdatesInARowReachALauncherAfterEachReload) {
    RunThreeUpdates({OMBRELTA_CHECK_EXE});
}

TEST(Publish, ThreeUpdatesInARowReachTheWindowsCheckerUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunThreeUpdates({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

// Each publication is killed right after one step: the server still accepts the root, and a
// launcher installs from it; between the two renames the check names the mismatch instead.
TEST(Publish, ACutShortPublicationLeavesARootTheServerAccepts) {
    for (PublishStep step : {PublishStep::Made, PublishStep::Verified, PublishStep::Signed,
                             PublishStep::Swapped, PublishStep::Placed, PublishStep::Checked}) {
        SCOPED_TRACE("killed after step " + std::to_string(static_cast<int>(step)));
        TempDir temp;
        const fs::path dir(temp.Path()), root = dir / "root", key = dir / "key.pem";
        WriteTree(root / "files", Release(0));
        WriteTree(dir / "release1", Release(1));
        WriteTree(dir / "release2", Release(2));
        const patchkit::P256Signer signer = patchkit::P256Signer::Generate();
        signer.Save(key);
        patchkit::PublishRequest request;
        request.root = root;
        request.newTree = dir / "release1";
        request.version = 1;
        request.signKey = key;
        ASSERT_TRUE(patchkit::Publish(request, [](PublishStep, const std::string&) {}).problems.empty());
        request.newTree = dir / "release2";
        request.version = 2;
        const pid_t child = ::fork();
        if (child == 0) {
            patchkit::Publish(request, [step](PublishStep done, const std::string&) {
                if (done == step)
                    ::_exit(9);
            });
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WEXITSTATUS(status), 9);
        const std::string publicKey = EncodeBase64(signer.PublicKey());
        const RunResult check = RunToEnd(
            {ServerExe(), "--root", PathArg(root), "--check", "--public-key", publicKey}, ".", kChildTimeout);
        if (step == PublishStep::Swapped) {
            EXPECT_EQ(check.exitCode, 2) << check.out;
            EXPECT_EQ(check.out.find("content good"), std::string::npos) << check.out;
            continue;
        }
        EXPECT_EQ(check.exitCode, 0) << check.out;
        ExpectFreshInstallUpdates(root, dir / "install", "delta=1\npublickey=" + publicKey + "\n");
        const RunResult again = Tool({"publish", "--root", PathArg(root), "--to", PathArg(dir / "release2"),
                                      "--version", "2", "--sign-key", PathArg(key), "--dry-run"});
        EXPECT_EQ(again.exitCode, step >= PublishStep::Swapped ? 2 : 0) << again.out;
    }
}

// A content check that fails after the swap puts every tree back where it was.
TEST(Publish, AFailedContentCheckPutsThePreviousTreeBack) {
    TempDir temp;
    const fs::path dir(temp.Path()), root = dir / "root", key = dir / "key.pem";
    WriteTree(root / "files", Release(0));
    WriteTree(dir / "release1", Release(1));
    WriteTree(dir / "release2", Release(2));
    patchkit::P256Signer::Generate().Save(key);
    ASSERT_EQ(Tool({"publish", "--root", PathArg(root), "--to", PathArg(dir / "release1"), "--version", "1"})
                  .exitCode,
              0);
    // Patch 1 is not signed: launchers with the key would refuse it, so signing from 2 on is refused.
    const RunResult refused = Tool({"publish", "--root", PathArg(root), "--to", PathArg(dir / "release2"),
                                    "--version", "2", "--sign-key", PathArg(key)});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(ReadFile(root / "files/data/map.dat"), Release(1)[1].second);
    EXPECT_EQ(ReadFile(root / "files.previous/Tarvesk.exe"), Release(0)[0].second);
    EXPECT_EQ(ReadFile(dir / "release2/data/map.dat"), Release(2)[1].second);
    EXPECT_FALSE(fs::exists(dir / "release2/ombrelta-files.sig"));
    EXPECT_FALSE(fs::exists(root / "patches/patch2.zip"));
    EXPECT_FALSE(fs::exists(root / ".publish"));
}

}  // namespace
}  // namespace ombrelta::test
