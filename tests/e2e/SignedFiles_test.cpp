// Signed game files end to end: content signed with `sign-files`, served by the native server,
// checked by the native checker and the Windows one under Wine, with and without the public key.
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "common/Base64.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tools/patch/FileListSigner.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

const std::vector<FileSpec>& GameFiles() {
    static const std::vector<FileSpec> files{{"Tarvesk.exe", PseudoRandomBytes(5000, 31)},
                                             {"data/maps/world map.dat", PseudoRandomBytes(3000, 32)}};
    return files;
}

struct Scenario {
    const char* name;
    bool withKey;
    // What happens to the served files after signing.
    std::function<void(const fs::path& files)> afterSigning;
    const char* failure;  // the last line of a failed run; nullptr for "Ready."
    const char* absentFile;
};

void Untouched(const fs::path&) {}

void ChangeWorldMap(const fs::path& files) {
    WriteFile(files / "data/maps/world map.dat", PseudoRandomBytes(3000, 33));
}

void AddFile(const fs::path& files) {
    WriteFile(files / "data/extra.bin", "not signed");
}

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> scenarios{
        {"signed", true, Untouched, nullptr, nullptr},
        {"changed after signing", true, ChangeWorldMap, "error\tSignature check failed: data/maps/world map.dat\n",
         "data/maps/world map.dat"},
        {"added after signing", true, AddFile, "error\tSignature check failed: data/extra.bin\n", "data/extra.bin"},
        {"changed, without the key", false, ChangeWorldMap, nullptr, nullptr},
        {"added, without the key", false, AddFile, nullptr, nullptr},
    };
    return scenarios;
}

void RunScenarios(const std::vector<std::string>& checker) {
    for (const Scenario& scenario : Scenarios()) {
        SCOPED_TRACE(scenario.name);
        TempDir temp;
        const fs::path root = fs::path(temp.Path()) / "server", install = fs::path(temp.Path()) / "install";
        WriteTree(root / "files", GameFiles());
        const patchkit::P256Signer signer = patchkit::P256Signer::Generate();
        ASSERT_TRUE(patchkit::SignGameFiles(root / "files", signer, 0).problems.empty());
        scenario.afterSigning(root / "files");
        ServerProcess server(PathArg(root), {"--chunk-size", "1000"}, PathArg(fs::path(temp.Path()) / "server.log"));
        ASSERT_NE(server.Port(), 0);
        fs::create_directories(install);
        WriteLauncherConfig(install, server.Port(),
                            scenario.withKey ? "publickey=" + EncodeBase64(signer.PublicKey()) + "\n" : "");
        std::vector<std::string> argv = checker;
        argv.insert(argv.end(), {"--mode", "both"});
        const RunResult run = RunToEnd(argv, PathArg(install), kChildTimeout);
        if (scenario.failure) {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_TRUE(run.out.ends_with(scenario.failure)) << run.out;
            EXPECT_FALSE(fs::exists(install / scenario.absentFile));
        } else {
            EXPECT_EQ(run.exitCode, 0) << run.out << server.Log();
            EXPECT_NE(run.out.find("100\tReady.\n"), std::string::npos) << run.out;
            EXPECT_TRUE(run.out.ends_with("100\tFiles checked successfully.\n")) << run.out;
            EXPECT_TRUE(ReadFile(install / "Tarvesk.exe") == GameFiles()[0].second);
        }
        EXPECT_EQ(server.Stop(), 0);
    }
}

TEST(SignedFiles, NativeChecker) {
    RunScenarios({OMBRELTA_CHECK_EXE});
}

TEST(SignedFiles, WindowsCheckerUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunScenarios({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

}  // namespace
}  // namespace ombrelta::test
