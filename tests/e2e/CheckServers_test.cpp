// The checker with more launcher servers: one that refuses and one that is frozen are passed over
// at start, and a server lost in mid-repair is replaced by the next one.
#include <csignal>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/CuttingProxy.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kChunk = 16000;
// Past the patch answers, the list and three chunks: in the middle of m.bin's fourth chunk.
constexpr std::uint64_t kCutAt = 4 * kChunk - 2000;
// Far above the one receive timeout (5 s) a frozen server costs, far below a run left hanging.
constexpr auto kGenerousRunLimit = std::chrono::seconds(60);

// The game files at version 0, or at version 1 with the patch that leads there.
void Publish(const fs::path& root, int version) {
    WriteTree(root / "files", {{"a.txt", "alpha\n"}, {"m.bin", PseudoRandomBytes(300000, 51)}});
    WriteFile(root / "files" / "z.bin", PseudoRandomBytes(40000, version == 0 ? 52 : 53));
    fs::create_directories(root / "patches");
    if (version == 0)
        return;
    MakeZip(root / "patches" / "patch-0001.zip", {{"version.dat", "1\n"}, {"p.dat", "from the patch\n"}});
    WriteFile(root / "files" / "p.dat", "from the patch\n");
}

struct CheckRun {
    RunResult result;
    std::vector<std::string> connections;
    std::chrono::steady_clock::duration elapsed;
};

// Runs the checker in install, keeping the servers it reports on standard error.
CheckRun RunCheck(const std::vector<std::string>& checker, const fs::path& install) {
    const fs::path errors = install.parent_path() / "check.err";
    const auto start = std::chrono::steady_clock::now();
    ChildProcess child(checker, PathArg(install), PathArg(errors));
    CheckRun run;
    run.result.out = child.ReadToEnd(kChildTimeout);
    run.result.exitCode = child.Wait(kChildTimeout);
    run.elapsed = std::chrono::steady_clock::now() - start;
    std::istringstream lines(ReadFile(errors));
    const std::string prefix = "ombrelta-check: connected to ";
    for (std::string line; std::getline(lines, line);) {
        // Standard error of a Windows program ends its lines with CR LF.
        if (line.ends_with('\r'))
            line.pop_back();
        if (line.starts_with(prefix))
            run.connections.push_back(line.substr(prefix.size()));
    }
    return run;
}

std::string Server(std::uint16_t port, int place, int count) {
    return "127.0.0.1:" + std::to_string(port) + " (server " + std::to_string(place) + " of " +
           std::to_string(count) + ")";
}

void ExpectFilesOf(const fs::path& root, const fs::path& install) {
    for (const auto& file : fs::directory_iterator(root / "files"))
        EXPECT_TRUE(ReadFile(install / file.path().filename()) == ReadFile(file.path())) << file.path();
    EXPECT_EQ(ReadFile(install / "version.dat"), fs::exists(root / "patches" / "patch-0001.zip") ? "1\n" : "");
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

void PassOverStoppedAndFrozenServers(const std::vector<std::string>& checker) {
    TempDir temp;
    const fs::path dir(temp.Path());
    Publish(dir / "down", 0);
    Publish(dir / "frozen", 0);
    Publish(dir / "serving", 1);
    ServerProcess down(PathArg(dir / "down"), {}, PathArg(dir / "down.log"));
    const std::uint16_t downPort = down.Port();
    ASSERT_NE(downPort, 0);
    ASSERT_EQ(down.Stop(), 0);
    ServerProcess frozen(PathArg(dir / "frozen"), {}, PathArg(dir / "frozen.log"));
    ServerProcess serving(PathArg(dir / "serving"), {}, PathArg(dir / "serving.log"));
    ASSERT_NE(frozen.Port(), 0);
    ASSERT_NE(serving.Port(), 0);
    frozen.Signal(SIGSTOP);
    WriteLauncherConfig(dir / "install", downPort,
                        "servers=127.0.0.1:" + std::to_string(frozen.Port()) + ", 127.0.0.1:" +
                            std::to_string(serving.Port()) + "\n");

    const CheckRun run = RunCheck(checker, dir / "install");
    frozen.Signal(SIGCONT);

    EXPECT_EQ(run.result.exitCode, 0) << run.result.out;
    // The reports of one connection: nothing tells of the servers passed over.
    EXPECT_TRUE(run.result.out.starts_with("20\tChecking patches...\n")) << run.result.out;
    EXPECT_EQ(Count(run.result.out, "Checking patches..."), 1u) << run.result.out;
    EXPECT_TRUE(run.result.out.ends_with("100\tReady.\n")) << run.result.out;
    // The refused server costs no connection; the frozen one its one unanswered request.
    EXPECT_EQ(run.connections, (std::vector<std::string>{Server(frozen.Port(), 2, 3), Server(serving.Port(), 3, 3)}));
    EXPECT_LT(run.elapsed, kGenerousRunLimit);
    std::printf("ready after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(run.elapsed).count()));
    ExpectFilesOf(dir / "serving", dir / "install");
    EXPECT_EQ(frozen.Stop(), 0);
    EXPECT_EQ(serving.Stop(), 0);
}

void ReplaceServerLostInMidRepair(const std::vector<std::string>& checker) {
    struct Row {
        const char* name;
        int firstVersion;
        int nextVersion;
    };
    for (const Row& row : {Row{"same content", 1, 1}, Row{"the next one a patch ahead", 0, 1}}) {
        SCOPED_TRACE(row.name);
        TempDir temp;
        const fs::path dir(temp.Path()), install = dir / "install";
        Publish(dir / "first", row.firstVersion);
        Publish(dir / "next", row.nextVersion);
        // The patch of the first server is installed already: its first download is a repair.
        WriteFile(install / "a.txt", "alpha\n");
        if (row.firstVersion == 1) {
            WriteFile(install / "version.dat", "1\n");
            WriteFile(install / "p.dat", "from the patch\n");
        }
        const std::vector<std::string> chunks{"--chunk-size", std::to_string(kChunk)};
        ServerProcess first(PathArg(dir / "first"), chunks, PathArg(dir / "first.log"));
        ServerProcess next(PathArg(dir / "next"), chunks, PathArg(dir / "next.log"));
        ASSERT_NE(first.Port(), 0);
        ASSERT_NE(next.Port(), 0);
        auto proxy = std::make_unique<CuttingProxy>(first.Port(), kCutAt, 1, [&] { first.Signal(SIGKILL); });
        ASSERT_NE(proxy->Port(), 0);
        WriteLauncherConfig(install, proxy->Port(),
                            "retries=3\nservers=127.0.0.1:" + std::to_string(next.Port()) + "\n");

        const std::uint16_t proxyPort = proxy->Port();
        const CheckRun run = RunCheck(checker, install);
        const int cuts = proxy->Cuts();
        proxy.reset();

        EXPECT_EQ(run.result.exitCode, 0) << run.result.out;
        EXPECT_EQ(cuts, 1);
        const std::size_t repair = run.result.out.find("\tRepairing m.bin\n");
        EXPECT_LT(repair, run.result.out.find("\tConnection lost, retrying in 1 s (1 of 3)...\n")) << run.result.out;
        EXPECT_EQ(Count(run.result.out, "Connection lost"), 1u) << run.result.out;
        EXPECT_EQ(Count(run.result.out, "Patch 1 installed."), row.firstVersion == 0 ? 1u : 0u) << run.result.out;
        EXPECT_TRUE(run.result.out.ends_with("100\tReady.\n")) << run.result.out;
        EXPECT_EQ(run.connections,
                  (std::vector<std::string>{Server(proxyPort, 1, 2), Server(next.Port(), 2, 2)}));
        ExpectFilesOf(dir / "next", install);
        EXPECT_EQ(next.Stop(), 0);
    }
}

TEST(CheckServers, NativeCheckerPassesOverStoppedAndFrozenServers) {
    PassOverStoppedAndFrozenServers({OMBRELTA_CHECK_EXE});
}

TEST(CheckServers, WindowsCheckerPassesOverStoppedAndFrozenServersUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    PassOverStoppedAndFrozenServers({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

TEST(CheckServers, NativeCheckerReplacesAServerLostInMidRepair) {
    ReplaceServerLostInMidRepair({OMBRELTA_CHECK_EXE});
}

TEST(CheckServers, WindowsCheckerReplacesAServerLostInMidRepairUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    ReplaceServerLostInMidRepair({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

}  // namespace
}  // namespace ombrelta::test
