// The checker with and without "publickey" against a real server offering a signed, a changed
// and an unsigned patch, natively and under Wine.
#include <filesystem>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"
#include "tools/patch/FileListSigner.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

// The public half of tests/patch/fixtures/signing-test-key.pem, which signed signed.zip (version 5).
constexpr char kPublicKeyLine[] =
    "publickey=BJVPNFJy9odHRuPOTj6ED7lf7A5AzDWGRvqUqvAgDe+UHHDLyN+AoITYxNtc403gb0fTgQwe/iB04qVRgR2o1Zs=\n";
constexpr char kArchive[] = "patch-0005.zip";

enum class Offer { Signed, ChangedAfterSigning, Unsigned };

struct Row {
    const char* label;
    Offer offer;
    bool key;
};

patchkit::P256Signer SigningKey() {
    return patchkit::P256Signer::Load(ToNativePath(TestDataDir() + L"../patch/fixtures/signing-test-key.pem"));
}

std::string SignedArchive() {
    return ReadFileBytes(TestDataDir() + L"../patch/fixtures/signed.zip");
}

void WriteOffer(const fs::path& patches, Offer offer) {
    if (offer == Offer::Unsigned) {
        MakeZip(patches / kArchive, {{"version.dat", "5\r\n"}, {"readme.txt", "unsigned readme\n"}});
        return;
    }
    std::string zip = SignedArchive();
    if (offer == Offer::ChangedAfterSigning)
        ChangeStoredByte(zip, 1, 0);  // "signed readme" becomes "Signed readme"
    WriteFile(patches / kArchive, zip);
}

// Names below the installation but the configuration and the downloaded archive.
std::vector<std::string> Written(const fs::path& install) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(install)) {
        const std::string name = fs::relative(entry.path(), install).generic_string();
        if (name != "Ombrel.dat" && name != "_patch_temp" && name != std::string("_patch_temp/") + kArchive)
            names.push_back(name);
    }
    return names;
}

void RunRows(const std::vector<std::string>& checker) {
    const Row rows[] = {
        {"signed, key", Offer::Signed, true},
        {"changed after signing, key", Offer::ChangedAfterSigning, true},
        {"unsigned, key", Offer::Unsigned, true},
        {"signed, no key", Offer::Signed, false},
        {"changed after signing, no key", Offer::ChangedAfterSigning, false},
        {"unsigned, no key", Offer::Unsigned, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir temp;
        const fs::path root(temp.Path());
        WriteOffer(root / "server/patches", row.offer);
        // With the key the game files must be signed too, even when there are none but the list.
        fs::create_directories(root / "server/files");
        ASSERT_TRUE(patchkit::SignGameFiles(root / "server/files", SigningKey(), 5).problems.empty());
        ServerProcess server(PathArg(root / "server"), {}, PathArg(root / "server.log"));
        ASSERT_NE(server.Port(), 0);
        fs::create_directories(root / "install");
        WriteLauncherConfig(root / "install", server.Port(), row.key ? kPublicKeyLine : "");

        const RunResult run = RunToEnd(checker, PathArg(root / "install"), kChildTimeout);

        if (row.key && row.offer != Offer::Signed) {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_TRUE(run.out.ends_with("70\tExtracting patch...\n70\tSignature check failed: patch-0005.zip\n"
                                          "error\tPatch update failed.\n"))
                << run.out;
            EXPECT_EQ(Written(root / "install"), std::vector<std::string>{});
        } else {
            EXPECT_EQ(run.exitCode, 0) << run.out << server.Log();
            EXPECT_TRUE(run.out.ends_with("100\tReady.\n")) << run.out;
            EXPECT_EQ(ReadFile(root / "install/version.dat"), "5\r\n");
            EXPECT_EQ(ReadFile(root / "install/readme.txt"), row.offer == Offer::Unsigned ? "unsigned readme\n"
                                                             : row.offer == Offer::Signed ? "signed readme\n"
                                                                                          : "Signed readme\n");
            // Only a launcher that checks signatures leaves them out.
            EXPECT_EQ(fs::exists(root / "install/ombrelta.sig"), !row.key && row.offer != Offer::Unsigned);
        }
        EXPECT_EQ(server.Stop(), 0);
    }
}

TEST(SignedPatch, NativeCheckerInstallsOnlySignedPatchesWithAKey) {
    RunRows({OMBRELTA_CHECK_EXE});
}

TEST(SignedPatch, WindowsCheckerUnderWineInstallsOnlySignedPatchesWithAKey) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunRows({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

}  // namespace
}  // namespace ombrelta::test
