// The native server with the checker in a fresh installation: patches, repairs, a second run.
#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

// Every report is "percent TAB text" with a percent from 0 to 100.
void ExpectWellFormedReports(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos);
        int percent = std::stoi(line.substr(0, tab));
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
    }
}

const std::vector<FileSpec>& GameFiles() {
    static const std::vector<FileSpec> files{
        {"Tarvesk.exe", PseudoRandomBytes(4321, 1)},
        {"data/maps/world.map", PseudoRandomBytes(2500, 2)},
        {"data/empty.bin", ""},
        {"data/big.pak", PseudoRandomBytes(12345, 3)},
        {"readme.txt", "Welcome to Ombrelta.\r\n"},
    };
    return files;
}

struct PatchSpec {
    std::string archive;
    std::vector<FileSpec> files;
};

const std::vector<PatchSpec>& Patches() {
    static const std::vector<PatchSpec> patches{
        {"patch-0001.zip",
         {{"version.dat", "1\n"},
          {"patch1.txt", "first patch\n"},
          {"sub/one.bin", PseudoRandomBytes(3000, 11)}}},
        {"patch-0002.zip", {{"version.dat", "2\r\n"}, {"bin/two.dll", PseudoRandomBytes(700, 12)}}},
        {"patch-0003.zip",
         {{"version.dat", "3"}, {"data/three.txt", "third\n"}, {"patch1.txt", "replaced by 3\n"}}},
    };
    return patches;
}

class ServerCheckTest : public ::testing::Test {
protected:
    fs::path Dir(const char* name) const { return fs::path(temp.Path()) / name; }

    void BuildFullServer() {
        for (const PatchSpec& patch : Patches())
            MakeZip(Dir("server") / "patches" / patch.archive, patch.files);
        WriteTree(Dir("server") / "files", GameFiles());
    }

    // The installation as a user might have it: one file damaged, one too long, one unlisted.
    void PrepareInstallation() {
        fs::create_directories(Dir("install"));
        std::string damaged = GameFiles()[1].second;
        damaged[100] ^= 0x5A;
        WriteFile(Dir("install") / "data/maps/world.map", damaged);
        WriteFile(Dir("install") / "readme.txt", GameFiles()[4].second + "extra");
        WriteFile(Dir("install") / "notes.txt", "mine");
    }

    void ExpectFullyInstalled() {
        fs::path install = Dir("install");
        EXPECT_EQ(ReadFile(install / "version.dat"), "3");
        EXPECT_FALSE(fs::exists(install / "_patch_temp"));
        EXPECT_EQ(ReadFile(install / "patch1.txt"), "replaced by 3\n");
        EXPECT_EQ(ReadFile(install / "sub/one.bin"), Patches()[0].files[2].second);
        EXPECT_EQ(ReadFile(install / "bin/two.dll"), Patches()[1].files[1].second);
        EXPECT_EQ(ReadFile(install / "data/three.txt"), "third\n");
        for (const auto& [name, bytes] : GameFiles()) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(fs::is_regular_file(install / name));
            EXPECT_TRUE(ReadFile(install / name) == bytes);
        }
        EXPECT_EQ(ReadFile(install / "notes.txt"), "mine");
    }

    // Runs a checker twice against a server built by BuildFullServer: the first run patches and
    // repairs, the second finds nothing to do.
    void RunChecksTwice(const ServerProcess& server, const std::vector<std::string>& checker,
                        std::string_view configLines = {}) {
        PrepareInstallation();
        WriteLauncherConfig(Dir("install"), server.Port(), configLines);
        std::vector<std::string> argv = checker;
        argv.insert(argv.end(), {"--mode", "both"});

        RunResult first = RunToEnd(argv, PathArg(Dir("install")), kChildTimeout);
        std::vector<std::string> lines = Lines(first.out);
        EXPECT_EQ(first.exitCode, 0) << first.out << server.Log();
        ExpectWellFormedReports(lines);
        std::vector<std::string> milestones;
        for (const std::string& line : lines) {
            if (line.find("installed.") != std::string::npos || line.find("Ready.") != std::string::npos)
                milestones.push_back(line);
        }
        EXPECT_EQ(milestones, (std::vector<std::string>{"100\tPatch 1 installed.", "100\tPatch 2 installed.",
                                                        "100\tPatch 3 installed.", "100\tReady."}));
        EXPECT_TRUE(HasLineStartingWith(lines, "0\tRepairing data\\maps\\world.map"));
        EXPECT_TRUE(HasLineStartingWith(lines, "0\tRepairing data\\empty.bin"));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "100\tFiles checked successfully.");
        ExpectFullyInstalled();

        RunResult second = RunToEnd(argv, PathArg(Dir("install")), kChildTimeout);
        std::vector<std::string> again = Lines(second.out);
        EXPECT_EQ(second.exitCode, 0) << second.out;
        EXPECT_FALSE(HasLineStartingWith(again, "0\tRepairing "));
        EXPECT_FALSE(HasLineStartingWith(again, "20\tPatch found: "));
        EXPECT_TRUE(HasLineStartingWith(again, "10\tNo patches found."));
        ExpectFullyInstalled();
    }

    // One patch and one missing file, every report checked byte for byte.
    void RunSmallCase(const std::vector<std::string>& checker) {
        MakeZip(Dir("server") / "patches" / "patch1.zip", {{"version.dat", "1\n"}, {"readme.txt", "hi\n"}});
        WriteTree(Dir("server") / "files", {{"data/a.txt", "abc"}});
        ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
        ASSERT_NE(server.Port(), 0);
        fs::create_directories(Dir("install"));
        WriteLauncherConfig(Dir("install"), server.Port());

        std::vector<std::string> argv = checker;
        argv.insert(argv.end(), {"--mode", "both"});
        RunResult run = RunToEnd(argv, PathArg(Dir("install")), kChildTimeout);

        EXPECT_EQ(run.exitCode, 0) << server.Log();
        EXPECT_EQ(run.out,
                  "20\tChecking patches...\n"
                  "5\tChecking patch version 0\n"
                  "10\tServer has next patch.\n"
                  "15\tGetting next patch info...\n"
                  "20\tPatch found: 1\n"
                  "65\tDownloading patch 1\n"
                  "70\tExtracting patch...\n"
                  "100\tPatch 1 installed.\n"
                  "5\tChecking patch version 1\n"
                  "10\tNo patches found.\n"
                  "100\tPatch check finished.\n"
                  "70\tChecking game files...\n"
                  "0\tRepairing data\\a.txt\n"
                  "100\tRepairing data\\a.txt\n"
                  "100\tChecking data\\a.txt\n"
                  "100\tReady.\n"
                  "0\tConnecting to launcher server...\n"
                  "10\tChecking files before start...\n"
                  "100\tChecking data\\a.txt\n"
                  "100\tFiles checked successfully.\n");
        EXPECT_EQ(ReadFile(Dir("install") / "version.dat"), "1\n");
        EXPECT_EQ(ReadFile(Dir("install") / "readme.txt"), "hi\n");
        EXPECT_EQ(ReadFile(Dir("install") / "data/a.txt"), "abc");
        EXPECT_FALSE(fs::exists(Dir("install") / "_patch_temp"));
        EXPECT_EQ(server.Stop(), 0);
    }

    TempDir temp;
};

TEST_F(ServerCheckTest, NativeCheckerReportsEveryStepExactly) {
    RunSmallCase({OMBRELTA_CHECK_EXE});
}

TEST_F(ServerCheckTest, WindowsCheckerUnderWineReportsEveryStepExactly) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunSmallCase({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

TEST_F(ServerCheckTest, NativeCheckerPatchesAndRepairsThenFindsNothingToDo) {
    BuildFullServer();
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "1000"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RunChecksTwice(server, {OMBRELTA_CHECK_EXE});
    EXPECT_EQ(server.Stop(), 0) << server.Log();
}

TEST_F(ServerCheckTest, WindowsCheckerUnderWinePatchesAndRepairs) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    BuildFullServer();
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "1000"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RunChecksTwice(server, {OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
    EXPECT_EQ(server.Stop(), 0) << server.Log();
}

// Chunk requests sent ahead, with chunks small enough that every download keeps a full window.
TEST_F(ServerCheckTest, NativeCheckerWithPipelinePatchesAndRepairs) {
    BuildFullServer();
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "100"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RunChecksTwice(server, {OMBRELTA_CHECK_EXE}, "pipeline=16\n");
    EXPECT_EQ(server.Stop(), 0) << server.Log();
}

TEST_F(ServerCheckTest, NativeCheckerWithAutoPipelinePatchesAndRepairs) {
    BuildFullServer();
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "100"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RunChecksTwice(server, {OMBRELTA_CHECK_EXE}, "pipeline=auto\n");
    EXPECT_EQ(server.Stop(), 0) << server.Log();
}

TEST_F(ServerCheckTest, WindowsCheckerUnderWineWithPipelinePatchesAndRepairs) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    BuildFullServer();
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "100"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RunChecksTwice(server, {OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE}, "pipeline=64\n");
    EXPECT_EQ(server.Stop(), 0) << server.Log();
}

TEST_F(ServerCheckTest, WindowsServerUnderWineServesTheNativeChecker) {
    if (!fs::exists(OMBRELTA_WINDOWS_SERVER_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_SERVER_EXE;
    BuildFullServer();
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "1000"}, PathArg(Dir("server.log")),
                         {OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_SERVER_EXE});
    ASSERT_NE(server.Port(), 0);
    RunChecksTwice(server, {OMBRELTA_CHECK_EXE});
    // Wine turns no POSIX signal into a console event for the program, so its exit code after
    // SIGTERM says nothing about the server; a clean stop is tested natively.
    server.Stop();
}

TEST_F(ServerCheckTest, PatchesGoToTheInstallDirAndGameFilesToTheWorkingDir) {
    MakeZip(Dir("server") / "patches" / "p.zip", {{"version.dat", "9"}, {"launcher/skin.png", "png"}});
    WriteTree(Dir("server") / "files", {{"maps/m.dat", "map"}});
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    fs::create_directories(Dir("launcher"));
    fs::create_directories(Dir("game"));
    WriteLauncherConfig(Dir("game"), server.Port());

    RunResult run =
        RunToEnd({OMBRELTA_CHECK_EXE, "--install-dir", PathArg(Dir("launcher")), "--mode", "startup"},
                 PathArg(Dir("game")), kChildTimeout);

    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(ReadFile(Dir("launcher") / "version.dat"), "9");
    EXPECT_EQ(ReadFile(Dir("launcher") / "launcher/skin.png"), "png");
    EXPECT_FALSE(fs::exists(Dir("launcher") / "_patch_temp"));
    EXPECT_EQ(ReadFile(Dir("game") / "maps/m.dat"), "map");
    EXPECT_FALSE(fs::exists(Dir("game") / "version.dat"));
    EXPECT_FALSE(fs::exists(Dir("launcher") / "maps"));
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerCheckTest, RunningLauncherIsMovedAsideAndNamedInTheLastLine) {
    const std::string newLauncher = PseudoRandomBytes(5000, 21);
    MakeZip(Dir("server") / "patches" / "patch1.zip",
            {{"version.dat", "1\n"}, {"OmbreltaLauncher.exe", newLauncher}});
    WriteTree(Dir("server") / "files", {{"data/a.txt", "abc"}});
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    // A launcher that does not run is simply written over, and the output stays as it was.
    WriteLauncherConfig(Dir("idle"), server.Port());
    WriteFile(Dir("idle") / "OmbreltaLauncher.exe", "old");
    RunResult idle = RunToEnd({OMBRELTA_CHECK_EXE, "--mode", "startup"}, PathArg(Dir("idle")), kChildTimeout);
    EXPECT_EQ(idle.exitCode, 0) << idle.out;
    EXPECT_TRUE(idle.out.ends_with("\n100\tReady.\n")) << idle.out;
    EXPECT_TRUE(ReadFile(Dir("idle") / "OmbreltaLauncher.exe") == newLauncher);
    EXPECT_FALSE(fs::exists(Dir("idle") / "OmbreltaLauncher.exe.old"));

    fs::create_directories(Dir("install"));
    WriteLauncherConfig(Dir("install"), server.Port());
    // A running copy of sleep stands for the launcher: the system refuses to write over it.
    const fs::path launcher = Dir("install") / "OmbreltaLauncher.exe";
    fs::copy_file("/bin/sleep", launcher);
    const std::string oldLauncher = ReadFile(launcher);
    ChildProcess running({PathArg(launcher), "60"}, PathArg(Dir("install")));
    const std::wstring launcherW = Utf8ToWide(PathArg(launcher));
    for (int i = 0; i < 500 && !IsFileInUse(launcherW); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(IsFileInUse(launcherW));

    RunResult run =
        RunToEnd({OMBRELTA_CHECK_EXE, "--mode", "startup"}, PathArg(Dir("install")), kChildTimeout);
    running.Signal(SIGKILL);
    running.Wait(kChildTimeout);

    EXPECT_EQ(run.exitCode, 0) << run.out;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "100\tReady.");
    EXPECT_EQ(lines.back(), "updated\tOmbreltaLauncher.exe was replaced while it ran.");
    EXPECT_TRUE(ReadFile(launcher) == newLauncher);
    EXPECT_TRUE(ReadFile(Dir("install") / "OmbreltaLauncher.exe.old") == oldLauncher);
    EXPECT_EQ(ReadFile(Dir("install") / "version.dat"), "1\n");
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerCheckTest, StoppedServerFailsTheStartupCheck) {
    fs::create_directories(Dir("server"));
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    fs::create_directories(Dir("install"));
    WriteLauncherConfig(Dir("install"), server.Port());
    EXPECT_EQ(server.Stop(), 0);

    RunResult run =
        RunToEnd({OMBRELTA_CHECK_EXE, "--mode", "startup"}, PathArg(Dir("install")), kChildTimeout);

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "error\tFailed to connect to launcher server.\n");
}

}  // namespace
}  // namespace ombrelta::test
