// Changing the signing key with launchers in the field: a patch signed with the old key A brings
// "Ombrel.dat" with both keys, later patches are signed with the new key B, and a last one drops
// A. One server, reloaded for every update, and the native checker.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "config/LauncherConfig.h"
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

std::string Settings(std::uint16_t port, const std::vector<const P256Signer*>& keys) {
    std::string text = "host=127.0.0.1\nport=" + std::to_string(port) + "\npublickey=";
    for (const P256Signer* key : keys)
        text += (key == keys.front() ? "" : ",") + EncodeBase64(key->PublicKey());
    return text + "\n";
}

std::string Scrambled(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    ScrambleConfig(bytes);
    return {bytes.begin(), bytes.end()};
}

std::string Unscrambled(const std::string& bytes) {
    std::vector<std::uint8_t> text(bytes.begin(), bytes.end());
    UnscrambleConfig(text);
    return {text.begin(), text.end()};
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class KeyRotationTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTree(root / "files", {{"Tarvesk.exe", "game 0"}});
        ASSERT_TRUE(patchkit::SignGameFiles(root / "files", keyA, 0).problems.empty());
        server = std::make_unique<ServerProcess>(PathArg(root), std::vector<std::string>{},
                                                 PathArg(fs::path(temp.Path()) / "server.log"));
        ASSERT_NE(server->Port(), 0);
    }

    // Patch N with its entries, signed with key, the game files signed with it for N, and a
    // reload that has taken them.
    void Publish(std::uint16_t version, std::vector<FileSpec> entries, const P256Signer& key) {
        const fs::path archive = root / "patches" / ("p" + std::to_string(version) + ".zip");
        entries.push_back({"version.dat", std::to_string(version) + "\n"});
        MakeZip(archive, entries);
        ASSERT_TRUE(patchkit::SignPatch(archive, key, version).problems.empty());
        WriteTree(root / "files", {{"Tarvesk.exe", "game " + std::to_string(version)}});
        ASSERT_TRUE(patchkit::SignGameFiles(root / "files", key, version).problems.empty());
        Reload();
    }

    void Reload() {
        const std::size_t before = Count(server->Log(), "ombrelta-server: reloaded");
        server->Signal(SIGHUP);
        const auto deadline = std::chrono::steady_clock::now() + kChildTimeout;
        while (Count(server->Log(), "ombrelta-server: reloaded") == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_GT(Count(server->Log(), "ombrelta-server: reloaded"), before) << server->Log();
    }

    fs::path Install(const std::string& name, const std::vector<const P256Signer*>& keys) {
        const fs::path install = fs::path(temp.Path()) / name;
        WriteFile(install / "Ombrel.dat", Scrambled(Settings(server->Port(), keys)));
        return install;
    }

    RunResult Check(const fs::path& install) {
        return RunToEnd({OMBRELTA_CHECK_EXE}, PathArg(install), kChildTimeout);
    }

    void ExpectReady(const fs::path& install, std::uint16_t version) {
        const RunResult run = Check(install);
        EXPECT_EQ(run.exitCode, 0) << run.out << server->Log();
        EXPECT_TRUE(run.out.ends_with("100\tReady.\n")) << run.out;
        EXPECT_EQ(ReadFile(install / "version.dat"), std::to_string(version) + "\n");
        EXPECT_EQ(ReadFile(install / "Tarvesk.exe"), "game " + std::to_string(version));
    }

    int CheckWithKey(const P256Signer& key) {
        ChildProcess check({ServerExe(), "--root", PathArg(root), "--check", "--public-key",
                            "publickey=" + EncodeBase64(key.PublicKey())},
                           "", PathArg(fs::path(temp.Path()) / "check.log"));
        check.ReadToEnd(kChildTimeout);
        return check.Wait(kChildTimeout);
    }

    TempDir temp;
    const fs::path root = fs::path(temp.Path()) / "server";
    const P256Signer keyA = P256Signer::Generate();
    const P256Signer keyB = P256Signer::Generate();
    std::unique_ptr<ServerProcess> server;
};

TEST_F(KeyRotationTest, BothKeysFirstThenTheNewKeyThenTheNewKeyAlone) {
    const fs::path player = Install("player", {&keyA});
    const fs::path behind = Install("behind", {&keyA});
    Publish(1, {{"Ombrel.dat", Scrambled(Settings(server->Port(), {&keyA, &keyB}))}}, keyA);
    ExpectReady(player, 1);
    EXPECT_EQ(Unscrambled(ReadFile(player / "Ombrel.dat")), Settings(server->Port(), {&keyA, &keyB}));

    Publish(2, {{"data/two.txt", "two"}}, keyB);
    ExpectReady(player, 2);
    Publish(3, {{"Ombrel.dat", Scrambled(Settings(server->Port(), {&keyB}))}}, keyB);
    ExpectReady(player, 3);
    EXPECT_EQ(Unscrambled(ReadFile(player / "Ombrel.dat")), Settings(server->Port(), {&keyB}));

    // Two patches behind with A alone: the run takes patch 1 and its keys, but goes on with the
    // key it started with, so it refuses patch 2; the next run has both keys.
    const RunResult first = Check(behind);
    EXPECT_EQ(first.exitCode, 1) << first.out;
    EXPECT_NE(first.out.find("100\tPatch 1 installed.\n"), std::string::npos) << first.out;
    EXPECT_TRUE(first.out.ends_with("70\tSignature check failed: p2.zip\nerror\tPatch update failed.\n"))
        << first.out;
    ExpectReady(behind, 3);

    // Launchers with B alone refuse patch 1 until it is signed again with B.
    const fs::path fresh = Install("fresh", {&keyB});
    EXPECT_EQ(Check(fresh).exitCode, 1);
    EXPECT_EQ(CheckWithKey(keyB), 2);
    ASSERT_TRUE(patchkit::SignPatch(root / "patches" / "p1.zip", keyB, 1).problems.empty());
    Reload();
    EXPECT_EQ(CheckWithKey(keyB), 0);
    ExpectReady(Install("fresh again", {&keyB}), 3);
    EXPECT_EQ(server->Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
