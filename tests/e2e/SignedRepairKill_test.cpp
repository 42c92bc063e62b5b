// A checker with the public key killed in the middle of a repair: the game file keeps its old
// bytes, since the download goes to a name beside it until its signature holds.
#include <atomic>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/CuttingProxy.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tools/patch/FileListSigner.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

void KillDuringRepairThenRunAgain(const std::vector<std::string>& checker) {
    TempDir temp;
    const fs::path root = fs::path(temp.Path()) / "server", install = fs::path(temp.Path()) / "install";
    const std::string game = PseudoRandomBytes(400000, 51);
    WriteTree(root / "files", {{"Tarvesk.exe", game}});
    const patchkit::P256Signer signer = patchkit::P256Signer::Generate();
    ASSERT_TRUE(patchkit::SignGameFiles(root / "files", signer, 0).problems.empty());
    WriteFile(install / "Tarvesk.exe", "the old game");
    ServerProcess server(PathArg(root), {"--chunk-size", "16000"},
                         PathArg(fs::path(temp.Path()) / "server.log"));
    ASSERT_NE(server.Port(), 0);
    std::atomic<ChildProcess*> running{nullptr};
    CuttingProxy proxy(server.Port(), 100000, 1, [&] {
        while (!running)
            std::this_thread::yield();
        running.load()->Signal(SIGKILL);
    });
    ASSERT_NE(proxy.Port(), 0);
    WriteLauncherConfig(install, proxy.Port(), "publickey=" + EncodeBase64(signer.PublicKey()) + "\n");

    ChildProcess killed(checker, PathArg(install));
    running = &killed;
    EXPECT_EQ(killed.Wait(kChildTimeout), 128 + SIGKILL);
    EXPECT_EQ(proxy.Cuts(), 1);
    EXPECT_TRUE(ReadFile(install / "Tarvesk.exe") == "the old game");
    EXPECT_TRUE(fs::exists(install / "Tarvesk.exe.download"));

    const RunResult again = RunToEnd(checker, PathArg(install), kChildTimeout);
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_TRUE(ReadFile(install / "Tarvesk.exe") == game);
    EXPECT_FALSE(fs::exists(install / "Tarvesk.exe.download"));
    EXPECT_EQ(server.Stop(), 0);
}

TEST(SignedRepairKill, NativeChecker) {
    KillDuringRepairThenRunAgain({OMBRELTA_CHECK_EXE});
}

TEST(SignedRepairKill, WindowsCheckerUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    KillDuringRepairThenRunAgain({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

}  // namespace
}  // namespace ombrelta::test
