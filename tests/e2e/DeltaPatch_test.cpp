// A delta patch made by ombrelta-patch, served by a real server to the checker natively and under
// Wine: applied with "delta", left to the repair for a modified base or without the key, signed,
// and refused when its result does not check.
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/CuttingProxy.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/patch/ZipTestSupport.h"
#include "tests/support/TempDir.h"
#include "tools/patch/FileListSigner.h"
#include "tools/patch/PatchMaker.h"
#include "tools/patch/PatchSigner.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

// The public half of tests/patch/fixtures/signing-test-key.pem.
constexpr char kPublicKeyLine[] =
    "publickey=BJVPNFJy9odHRuPOTj6ED7lf7A5AzDWGRvqUqvAgDe+UHHDLyN+AoITYxNtc403gb0fTgQwe/iB04qVRgR2o1Zs=\n";
constexpr char kArchive[] = "patch-0002.zip";
constexpr std::size_t kBlock = 4096;

const std::string& OldPak() {
    static const std::string pak = PseudoRandomBytes(512 * kBlock, 27);
    return pak;
}

// Five of the 512 blocks rewritten and four blocks inserted in the middle.
const std::string& NewPak() {
    static const std::string pak = [] {
        std::string bytes = OldPak();
        for (std::size_t block : {37u, 101u, 250u, 333u, 480u})
            bytes.replace(block * kBlock, kBlock, PseudoRandomBytes(kBlock, static_cast<std::uint32_t>(block)));
        bytes.insert(256 * kBlock, PseudoRandomBytes(4 * kBlock, 7));
        return bytes;
    }();
    return pak;
}

// The two trees and the patches between them, made once: a delta patch and, for scale, a whole one.
struct Made {
    Made() {
        WriteTree(Path("old"), {{"data/game.pak", OldPak()}, {"readme.txt", "v1\n"}});
        WriteTree(Path("new"), {{"data/game.pak", NewPak()}, {"readme.txt", "v2\n"}});
        for (const bool delta : {true, false}) {
            const patchkit::PatchOutcome outcome = patchkit::MakePatch(
                {.oldTree = Path("old"), .newTree = Path("new"), .version = 2,
                 .archive = Path(delta ? "delta.zip" : "whole.zip"), .delta = delta});
            EXPECT_TRUE(outcome.problems.empty());
            EXPECT_EQ(outcome.deltas.deltaFiles, delta ? 1u : 0u);
        }
    }
    fs::path Path(const char* name) const { return fs::path(dir.Path()) / name; }

    TempDir dir;
};

const Made& Patches() {
    static const Made made;
    return made;
}

patchkit::P256Signer SigningKey() {
    return patchkit::P256Signer::Load(ToNativePath(TestDataDir() + L"../patch/fixtures/signing-test-key.pem"));
}

enum class Kind { Applied, ModifiedBase, NoKey, Signed, WrongResult };

struct Row {
    const char* label;
    Kind kind;
};

// The server's patch and game files, and an installation at version 1.
void Lay(const fs::path& root, Kind kind) {
    fs::create_directories(root / "server/patches");
    std::string zip = ReadFile(Patches().Path("delta.zip"));
    if (kind == Kind::WrongResult)
        ChangeStoredByte(zip, 0, 60);  // the result's SHA-256 in the header of the delta entry
    WriteFile(root / "server/patches" / kArchive, zip);
    WriteTree(root / "server/files", {{"data/game.pak", NewPak()}, {"readme.txt", "v2\n"}});
    if (kind == Kind::Signed) {
        ASSERT_TRUE(patchkit::SignPatch(root / "server/patches" / kArchive, SigningKey(), 2).problems.empty());
        ASSERT_TRUE(patchkit::SignGameFiles(root / "server/files", SigningKey(), 2).problems.empty());
    }
    std::string base = OldPak();
    if (kind == Kind::ModifiedBase)
        base[1000] ^= 1;
    WriteTree(root / "install", {{"data/game.pak", base}, {"readme.txt", "v1\n"}, {"version.dat", "1\r\n"}});
}

std::set<std::string> Written(const fs::path& install) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(install)) {
        const std::string name = fs::relative(entry.path(), install).generic_string();
        if (name != "Ombrel.dat" && !name.starts_with("_patch_temp"))
            names.insert(name);
    }
    return names;
}

void Check(const Row& row, const fs::path& root, const RunResult& run) {
    const fs::path install = root / "install";
    std::set<std::string> expected{"data", "data/game.pak", "readme.txt", "version.dat"};
    if (row.kind == Kind::WrongResult) {
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.ends_with("70\tExtracting patch...\nerror\tPatch update failed.\n")) << run.out;
        EXPECT_TRUE(ReadFile(install / "data/game.pak") == OldPak());
        EXPECT_EQ(ReadFile(install / "version.dat"), "1\r\n");
        EXPECT_EQ(Written(install), expected);
        return;
    }
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(run.out.ends_with("100\tReady.\n")) << run.out;
    EXPECT_TRUE(ReadFile(install / "data/game.pak") == NewPak());
    EXPECT_EQ(ReadFile(install / "readme.txt"), "v2\n");
    EXPECT_EQ(ReadFile(install / "version.dat"), "2\r\n");
    const bool repaired = row.kind == Kind::ModifiedBase || row.kind == Kind::NoKey;
    EXPECT_EQ(run.out.find("Repairing data") != std::string::npos, repaired) << run.out;
    if (row.kind == Kind::NoKey)
        expected.insert("data/game.pak.ombrelta-delta");
    if (row.kind == Kind::Signed)
        expected.insert("ombrelta-files.sig");
    EXPECT_EQ(Written(install), expected);
}

void RunRows(const std::vector<std::string>& checker) {
    const Row rows[] = {
        {"applied", Kind::Applied},
        {"modified base: repaired", Kind::ModifiedBase},
        {"no key: repaired", Kind::NoKey},
        {"signed, with publickey", Kind::Signed},
        {"result digest wrong", Kind::WrongResult},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir temp;
        const fs::path root(temp.Path());
        Lay(root, row.kind);
        ServerProcess server(PathArg(root / "server"), {}, PathArg(root / "server.log"));
        ASSERT_NE(server.Port(), 0);
        // Relays without cutting, to count what the server sends.
        CuttingProxy proxy(server.Port(), std::uint64_t{1} << 40, 0);
        ASSERT_NE(proxy.Port(), 0);
        std::string keys = row.kind == Kind::NoKey ? "" : "delta=1\n";
        if (row.kind == Kind::Signed)
            keys += kPublicKeyLine;
        WriteLauncherConfig(root / "install", proxy.Port(), keys);

        const RunResult run = RunToEnd(checker, PathArg(root / "install"), kChildTimeout);

        Check(row, root, run);
        if (row.kind == Kind::Applied) {
            const std::uint64_t whole = fs::file_size(Patches().Path("whole.zip"));
            EXPECT_LE(proxy.ForwardedFromServer() * 20, whole) << proxy.ForwardedFromServer() << " of " << whole;
        }
        EXPECT_EQ(server.Stop(), 0);
    }
}

TEST(DeltaPatch, NativeCheckerAppliesDeltasAndFallsBackToTheRepair) {
    RunRows({OMBRELTA_CHECK_EXE});
}

TEST(DeltaPatch, WindowsCheckerUnderWineAppliesDeltasAndFallsBackToTheRepair) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunRows({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

}  // namespace
}  // namespace ombrelta::test
