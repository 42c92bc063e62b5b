// The checker through a proxy that cuts the connection again and again in mid-download.
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/CuttingProxy.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kChunk = 16000;
constexpr std::uint64_t kCutEvery = 200000;
constexpr int kCuts = 5;

const std::vector<std::vector<FileSpec>>& PatchContents() {
    static const std::vector<std::vector<FileSpec>> patches{
        {{"version.dat", "1\n"}, {"one.bin", PseudoRandomBytes(300000, 21)}},
        {{"version.dat", "2\n"}, {"two.txt", "second\n"}},
        {{"version.dat", "3"}, {"three.bin", PseudoRandomBytes(250000, 23)}},
    };
    return patches;
}

const FileSpec& BigFile() {
    static const FileSpec file{"data/big.pak", PseudoRandomBytes(1500000, 24)};
    return file;
}

class CheckReconnectTest : public ::testing::Test {
protected:
    fs::path Dir(const char* name) const { return fs::path(temp.Path()) / name; }

    void SetUp() override {
        for (std::size_t i = 0; i < PatchContents().size(); ++i)
            MakeZip(Dir("server") / "patches" / ("patch-000" + std::to_string(i + 1) + ".zip"), PatchContents()[i]);
        WriteTree(Dir("server") / "files", {BigFile()});
        fs::create_directories(Dir("install"));
    }

    // Archive and file bytes one complete run must fetch.
    std::uint64_t ContentSize() const {
        std::uint64_t size = BigFile().second.size();
        for (const auto& entry : fs::directory_iterator(Dir("server") / "patches"))
            size += fs::file_size(entry.path());
        return size;
    }

    RunResult RunCheck(std::uint16_t port, std::string_view options) {
        WriteLauncherConfig(Dir("install"), port, options);
        return RunToEnd({OMBRELTA_CHECK_EXE}, PathArg(Dir("install")), kChildTimeout);
    }

    TempDir temp;
};

TEST_F(CheckReconnectTest, ResumeAndRetriesReachReadyWithinOneChunkPerCut) {
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", std::to_string(kChunk)}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    CuttingProxy proxy(server.Port(), kCutEvery, kCuts);
    ASSERT_NE(proxy.Port(), 0);

    const RunResult run = RunCheck(proxy.Port(), "resume=1\nretries=5\n");

    EXPECT_EQ(run.exitCode, 0) << run.out << server.Log();
    EXPECT_NE(run.out.find("100\tReady.\n"), std::string::npos);
    EXPECT_EQ(proxy.Cuts(), kCuts);
    EXPECT_NE(run.out.find("Connection lost, retrying in 1 s (5 of 5)..."), std::string::npos) << run.out;
    EXPECT_EQ(ReadFile(Dir("install") / "version.dat"), "3");
    for (const auto& patch : PatchContents()) {
        for (const auto& [name, bytes] : patch) {
            if (name != "version.dat") {
                EXPECT_TRUE(ReadFile(Dir("install") / name) == bytes) << name;
            }
        }
    }
    EXPECT_TRUE(ReadFile(Dir("install") / BigFile().first) == BigFile().second);
    EXPECT_FALSE(fs::exists(Dir("install") / "_patch_temp"));
    EXPECT_FALSE(fs::exists(Dir("install") / "data/big.pak.download"));

    // Per connection a hash list and the patch questions; per chunk its answer's header.
    const std::uint64_t chunks = ContentSize() / kChunk + 8;
    const std::uint64_t overhead = (kCuts + 1) * 1024 + chunks * 32;
    EXPECT_LT(proxy.ForwardedFromServer(), ContentSize() + kCuts * kChunk + overhead);
    std::printf("forwarded %llu bytes for %llu bytes of content\n",
                static_cast<unsigned long long>(proxy.ForwardedFromServer()),
                static_cast<unsigned long long>(ContentSize()));
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(CheckReconnectTest, WithoutTheKeysTheFirstCutEndsTheRunAndKeepsNothing) {
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", std::to_string(kChunk)}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    CuttingProxy proxy(server.Port(), kCutEvery, kCuts);
    ASSERT_NE(proxy.Port(), 0);

    const RunResult run = RunCheck(proxy.Port(), "");

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.ends_with("\tDownloading patch 1\nerror\tPatch update failed.\n")) << run.out;
    EXPECT_EQ(proxy.Cuts(), 1);
    EXPECT_FALSE(fs::exists(Dir("install") / "_patch_temp/patch-0001.zip.download"));
    EXPECT_FALSE(fs::exists(Dir("install") / "_patch_temp/patch-0001.zip.download.resume"));
    EXPECT_FALSE(fs::exists(Dir("install") / "version.dat"));
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
