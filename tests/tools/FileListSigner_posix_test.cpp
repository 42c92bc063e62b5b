#include "tools/patch/FileListSigner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Signature.h"
#include "tests/support/TempDir.h"
#include "tools/patch/PatchMaker.h"
#include "verify/SignedFileList.h"

namespace ombrelta::patchkit {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

SignedFileList SignAndParse(const TempDir& dir, const P256Signer& signer) {
    const FileSigningOutcome outcome = SignGameFiles(std::filesystem::path(dir.Path()), signer, 7);
    EXPECT_TRUE(outcome.problems.empty());
    return ParseSignedFileList(ReadFileBytes(dir.Child(L"ombrelta-files.sig"))).list.value();
}

TEST(SignGameFiles, ListsEveryOtherFileAsServedAndSignsIt) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"b.bin"), "bravo charlie\n");
    WriteFileBytes(dir.Child(L"a dir/a.bin"), "alpha\n");
    const P256Signer signer = P256Signer::Generate();
    SignAndParse(dir, signer);
    // Signing again lists the files, never the old list itself.
    const SignedFileList list = SignAndParse(dir, signer);
    ASSERT_EQ(list.files.size(), 2u);
    EXPECT_EQ(list.files[0].path, "a dir/a.bin");
    EXPECT_EQ(list.files[0].size, 6u);
    EXPECT_EQ(list.files[0].md5, "9f9f90dbe3e5ee1218c86b8839db1995");
    EXPECT_EQ(list.files[0].sha256, "b6a98d9ce9a2d9149288fa3df42d377c3e42737afdcdaf714e33c0a100b51060");
    EXPECT_EQ(list.files[1].path, "b.bin");
    EXPECT_EQ(list.version, 7);
    const std::string& text = list.signedText;
    EXPECT_TRUE(VerifyP256Signature(signer.PublicKey(),
                                    std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                                    list.signature));
    EXPECT_FALSE(test::FileExists(dir.Child(L"ombrelta-files.sig.tmp")));
}

TEST(SignGameFiles, RefusesFilesTheLauncherWouldRefuse) {
    TempDir dir;
    WriteFileBytes(dir.Child(L"a.bin"), "a");
    WriteFileBytes(dir.Child(L"A.BIN"), "b");
    const FileSigningOutcome outcome =
        SignGameFiles(std::filesystem::path(dir.Path()), P256Signer::Generate(), 0);
    EXPECT_FALSE(outcome.problems.empty());
    EXPECT_FALSE(test::FileExists(dir.Child(L"ombrelta-files.sig")));
}

// The tool takes the version from --version, or else from the newest patch beside the files.
TEST(SignGameFiles, ToolSignsForTheNewestPatchUnlessToldAVersion) {
    TempDir dir;
    const std::filesystem::path root(dir.Path());
    WriteFileBytes(dir.Child(L"files/a.bin"), "a");
    const std::string files = "'" + (root / "files").string() + "'";
    const std::string key = "'" + (root / "key.pem").string() + "'";
    P256Signer::Generate().Save(root / "key.pem");
    const auto run = [](const std::string& arguments) {
        const int status = std::system(
            (std::string("'") + OMBRELTA_PATCH_TOOL + "' " + arguments + " >/dev/null 2>&1").c_str());
        return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const auto signedVersion = [&] {
        return ParseSignedFileList(ReadFileBytes(dir.Child(L"files/ombrelta-files.sig")))
            .list.value()
            .version;
    };
    EXPECT_EQ(run("sign-files " + files + " --key " + key), 2);
    EXPECT_FALSE(test::FileExists(dir.Child(L"files/ombrelta-files.sig")));
    EXPECT_EQ(run("sign-files " + files + " --key " + key + " --version 0"), 0);
    EXPECT_EQ(signedVersion(), 0);
    EXPECT_EQ(run("sign-files " + files + " --key " + key + " --version 65536"), 2);
    EXPECT_EQ(run("sign-files " + files + " --key " + key + " --version -1"), 2);

    std::filesystem::create_directories(root / "empty");
    std::filesystem::create_directories(root / "patches");
    for (const char* version : {"3", "12", "7"}) {
        const std::filesystem::path tree = root / "tree" / version;
        WriteFileBytes((tree / "version.dat").wstring(), version);
        ASSERT_TRUE(MakePatch({.oldTree = root / "empty",
                               .newTree = tree,
                               .version = std::stoi(version),
                               .archive = root / "patches" / (std::string("p") + version + ".ZIP")})
                        .problems.empty());
    }
    EXPECT_EQ(run("sign-files " + files + " --key " + key), 0);
    EXPECT_EQ(signedVersion(), 12);
    EXPECT_EQ(run("sign-files " + files + " --key " + key + " --version 5"), 0);
    EXPECT_EQ(signedVersion(), 5);
}

}  // namespace
}  // namespace ombrelta::patchkit
