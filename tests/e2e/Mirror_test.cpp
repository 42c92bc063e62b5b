// A fresh installation patched and repaired from an nginx mirror by the checker, natively and
// under Wine, with a real server behind it: every fault of the mirror costs time, never the
// exact files.
#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/CuttingProxy.h"
#include "tests/e2e/HttpGet.h"
#include "tests/e2e/MirrorSupport.h"
#include "tests/e2e/NginxProcess.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kNative = {OMBRELTA_CHECK_EXE};
const std::vector<std::string> kWindows = {OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE};

std::string Base(std::uint16_t port) {
    return "http://127.0.0.1:" + std::to_string(port);
}

// The server, its mirror and their site; each run gets an installation of its own.
class MirrorTest : public ::testing::TestWithParam<bool> {
protected:
    MirrorTest()
        : site(fs::path(temp.Path())),
          server(PathArg(site.root / "server"), {"--metrics", "127.0.0.1:0"}, PathArg(site.root / "server.log")),
          nginx(site.root / "nginx", site.root / "www") {}

    void SetUp() override {
        if (GetParam() && !fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
            GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
        ASSERT_NE(server.Port(), 0);
        ASSERT_NE(nginx.Port(), 0);
    }

    CheckRun Install(const std::string& name, const std::string& keys) {
        return InstallAndCheck(site, name, server.Port(), keys, GetParam() ? kWindows : kNative);
    }

    double ServerSent(const char* kind) {
        const std::string page = HttpBody(HttpGet(server.MetricsPort(), "/metrics"));
        return SampleValue(page, "ombrelta_sent_bytes_total{kind=\"" + std::string(kind) + "\"}").value_or(-1);
    }

    TempDir temp;
    MirrorSite site;
    ServerProcess server;
    NginxProcess nginx;
};

TEST_P(MirrorTest, EveryFileComesFromTheMirrorUntilItFails) {
    const std::string mirror = "127.0.0.1:" + std::to_string(nginx.Port());
    {
        SCOPED_TRACE("all from the mirror");
        const CheckRun run = Install("all", "mirror=" + Base(nginx.Port()) + "/\n");
        EXPECT_EQ(LinesWith(run.err, " from " + mirror), 6) << run.err;
        const double sent = ServerSent("patch") + ServerSent("file");
        EXPECT_GE(sent, 0);
        EXPECT_LE(sent * 100, static_cast<double>(site.InstalledBytes())) << sent;
    }
    {
        SCOPED_TRACE("one object replaced by other bytes of its size");
        const fs::path object = site.BigObject();
        const std::string bytes = ReadFile(object);
        WriteFile(object, PseudoRandomBytes(bytes.size(), 99));
        const CheckRun run = Install("replaced", "mirror=" + Base(nginx.Port()) + "\n");
        EXPECT_EQ(LinesWith(run.err, "big.bin from the server"), 1) << run.err;
        EXPECT_EQ(LinesWith(run.err, " from " + mirror), 5) << run.err;
        WriteFile(object, bytes);
    }
    {
        SCOPED_TRACE("two mirrors, the first refusing");
        const std::string keys = "mirror=" + Base(FreePort()) + "," + Base(nginx.Port()) + "\n";
        const CheckRun run = Install("second", keys);
        EXPECT_EQ(LinesWith(run.err, " failed on "), 1) << run.err;
        EXPECT_EQ(LinesWith(run.err, " from " + mirror), 6) << run.err;
    }
    {
        SCOPED_TRACE("nginx stopped");
        nginx.Stop();
        const CheckRun run = Install("stopped", "mirror=" + Base(nginx.Port()) + "\n");
        EXPECT_EQ(LinesWith(run.err, " from the server"), 6) << run.err;
    }
}

TEST_P(MirrorTest, AMirrorThatStallsHandsTheFileToTheServerAfterTenSeconds) {
    std::atomic<bool> released{false};
    // Stops forwarding in the middle of the big file until the run is over.
    CuttingProxy stalling(nginx.Port(), site.PatchBytes() + 1024 * 1024 + 4096, 1, [&] {
        for (int i = 0; i < 600 && !released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    ASSERT_NE(stalling.Port(), 0);
    const CheckRun run = Install("stalled", "mirror=" + Base(stalling.Port()) + "\n");
    released = true;
    EXPECT_EQ(LinesWith(run.err, "failed on big.bin"), 1) << run.err;
    EXPECT_EQ(LinesWith(run.err, "big.bin from the server"), 1) << run.err;
}

TEST_P(MirrorTest, ADownloadCutByAKillGoesOnWithARange) {
    const fs::path install = site.root / "killed";
    const fs::path part = install / "big.bin.download";
    std::atomic<ChildProcess*> running{nullptr};
    // Killed once a piece of what came before the cut lies in the part.
    CuttingProxy killing(nginx.Port(), site.PatchBytes() + 1536 * 1024, 1, [&] {
        std::error_code error;
        for (int i = 0; i < 200 && !(fs::file_size(part, error) > 0 && !error); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        while (!running)
            std::this_thread::yield();
        running.load()->Signal(SIGKILL);
    });
    ASSERT_NE(killing.Port(), 0);
    fs::copy(site.root / "install", install, fs::copy_options::recursive);
    WriteLauncherConfig(install, server.Port(), "resume=1\nmirror=" + Base(killing.Port()) + "\n");
    {
        ChildProcess killed(GetParam() ? kWindows : kNative, PathArg(install));
        running = &killed;
        EXPECT_EQ(killed.Wait(kChildTimeout), 128 + SIGKILL);
    }
    ASSERT_TRUE(fs::exists(part) && fs::file_size(part) > 0);
    WriteLauncherConfig(install, server.Port(), "resume=1\nmirror=" + Base(nginx.Port()) + "\n");
    const CheckRun run = RunChecker(GetParam() ? kWindows : kNative, install);
    EXPECT_TRUE(run.out.ends_with("100\tReady.\n")) << run.out << run.err;
    site.ExpectInstalled(install);
    const std::string object = "/md5/" + site.BigObject().filename().string() + " 206 ";
    EXPECT_EQ(LinesWith(nginx.AccessLog(), object), 1) << nginx.AccessLog();
}

INSTANTIATE_TEST_SUITE_P(Checker, MirrorTest, ::testing::Values(false, true), [](const auto& info) {
    return info.param ? "WindowsUnderWine" : "Native";
});

}  // namespace
}  // namespace ombrelta::test
