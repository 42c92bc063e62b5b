// The log ombrelta-check --log writes, line by line: a run that passes, and runs that fail on a
// damaged patch and on a cut connection, each failure with its cause.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/CuttingProxy.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

const FileSpec kPatchFile{"one.bin", PseudoRandomBytes(3000, 41)};
const FileSpec kGameFile{"data/a.pak", PseudoRandomBytes(5000, 42)};

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::uint32_t Crc(const std::string& bytes) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// The log's lines without their time stamps, each checked for one, with the figures of time and
// rate, which differ from run to run, as T and R.
std::vector<std::string> LogLines(const fs::path& path) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    static const std::regex timing(R"(in [0-9.]+ s \([0-9]+ KiB/s\))");
    std::vector<std::string> lines;
    std::istringstream text(ReadFile(path));
    for (std::string line; std::getline(text, line);) {
        EXPECT_TRUE(std::regex_search(line, stamp)) << line;
        lines.push_back(std::regex_replace(std::regex_replace(line, stamp, ""), timing, "in T s (R KiB/s)"));
    }
    return lines;
}

class CheckLogTest : public ::testing::Test {
protected:
    fs::path Dir(const char* name) const { return fs::path(temp.Path()) / name; }
    fs::path LogPath() const { return Dir("install") / "ombrelta-launcher.log"; }

    void SetUp() override { fs::create_directories(Dir("install")); }

    RunResult RunCheck(std::uint16_t port) {
        WriteLauncherConfig(Dir("install"), port);
        return RunToEnd({OMBRELTA_CHECK_EXE, "--lines", "--log", PathArg(LogPath())}, PathArg(Dir("install")),
                        kChildTimeout);
    }

    // The lines of a run up to the extraction of its one patch, fetched in one chunk.
    std::vector<std::string> UpToExtraction(std::uint16_t port) const {
        const std::string server = "127.0.0.1:" + std::to_string(port);
        const std::string patchSize = std::to_string(fs::file_size(PatchPath()));
        return {"ombrelta-check 1.0.0 started",
                "installed version 0",
                "keys: none",
                "server " + server + " (as configured)",
                "connected to " + server,
                "report 20% Checking patches...",
                "report 5% Checking patch version 0",
                "report 10% Server has next patch.",
                "report 15% Getting next patch info...",
                "report 20% Patch found: 1",
                "patch 1 found: patch-0001.zip, " + patchSize + " bytes",
                "download patch-0001.zip from server, " + patchSize + " bytes",
                "report 65% Downloading patch 1",
                "download patch-0001.zip ended: " + patchSize + " bytes received in T s (R KiB/s), window 1, complete",
                "patch 1 downloaded: patch-0001.zip",
                "report 70% Extracting patch..."};
    }

    fs::path PatchPath() const { return Dir("server") / "patches" / "patch-0001.zip"; }

    TempDir temp;
};

void ExpectLines(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < std::max(lines.size(), expected.size()); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        EXPECT_EQ(i < lines.size() ? lines[i] : "(none)", i < expected.size() ? expected[i] : "(none)");
    }
}

TEST_F(CheckLogTest, APassingRunLogsEveryStepDownloadAndRepair) {
    MakeZip(PatchPath(), {{"version.dat", "1"}, kPatchFile});
    WriteTree(Dir("server") / "files", {kGameFile});
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);

    const RunResult run = RunCheck(server.Port());

    ASSERT_EQ(run.exitCode, 0) << run.out;
    std::vector<std::string> expected = UpToExtraction(server.Port());
    expected.insert(expected.end(), {
        "patch 1 extracted: patch-0001.zip",
        "report 100% Patch 1 installed.",
        "patch 1 installed: patch-0001.zip",
        "report 5% Checking patch version 1",
        "report 10% No patches found.",
        "report 100% Patch check finished.",
        "report 70% Checking game files...",
        "report 0% Repairing data\\a.pak",
        "repair data/a.pak, 5000 bytes",
        "download data/a.pak from server, 5000 bytes",
        "report 100% Repairing data\\a.pak",
        "download data/a.pak ended: 5000 bytes received in T s (R KiB/s), window 1, complete",
        "repair done: data/a.pak",
        "report 100% Checking data\\a.pak",
        "report 100% Ready.",
        "run passed",
    });
    ExpectLines(LogLines(LogPath()), expected);
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(CheckLogTest, APatchWithABadCrcNamesTheEntryAndBothValues) {
    MakeZip(PatchPath(), {{"version.dat", "1"}, kPatchFile});
    // The entry's CRC-32, in its local header and the central directory, made one bit wrong.
    std::string zip = ReadFile(PatchPath());
    const std::uint32_t good = Crc(kPatchFile.second);
    const std::uint32_t bad = good ^ 1;
    const std::string goodBytes(reinterpret_cast<const char*>(&good), 4);
    int replaced = 0;
    for (std::size_t at = zip.find(goodBytes); at != std::string::npos; at = zip.find(goodBytes, at + 4), ++replaced)
        zip.replace(at, 4, std::string(reinterpret_cast<const char*>(&bad), 4));
    ASSERT_EQ(replaced, 2);
    WriteFile(PatchPath(), zip);
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);

    const RunResult run = RunCheck(server.Port());

    EXPECT_EQ(run.exitCode, 1) << run.out;
    std::vector<std::string> expected = UpToExtraction(server.Port());
    expected.insert(expected.end(), {
        "failure: patch patch-0001.zip: CRC-32 expected " + Hex8(bad) + ", found " + Hex8(good) +
            "; in entry one.bin",
        "error: Patch update failed.",
        "run failed",
    });
    ExpectLines(LogLines(LogPath()), expected);
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(CheckLogTest, ACutConnectionWithoutRetriesNamesTheFailedReceive) {
    MakeZip(PatchPath(), {{"version.dat", "1"}, {"big.bin", PseudoRandomBytes(400000, 43)}});
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "16000"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    CuttingProxy proxy(server.Port(), 100000, 1);
    ASSERT_NE(proxy.Port(), 0);

    const RunResult run = RunCheck(proxy.Port());

    EXPECT_EQ(run.exitCode, 1) << run.out;
    const std::vector<std::string> lines = LogLines(LogPath());
    ASSERT_GE(lines.size(), 4u);
    const std::size_t end = lines.size();
    static const std::regex cut(
        R"(download patch-0001\.zip ended: \d+ bytes received in T s \(R KiB/s\), window 1, failed: (.+))");
    std::smatch cause;
    ASSERT_TRUE(std::regex_match(lines[end - 4], cause, cut)) << lines[end - 4];
    EXPECT_EQ(lines[end - 3], "failure: patch patch-0001.zip: " + cause[1].str());
    EXPECT_EQ(lines[end - 2], "error: Patch update failed.");
    EXPECT_EQ(lines[end - 1], "run failed");
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
