#include "tools/patch/MirrorTree.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "tests/support/TempDir.h"
#include "tools/patch/PatchMaker.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Md5Hex(const std::string& bytes) {
    return BytesToHex(
        *Md5Hasher::Of(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
}

std::vector<std::string> Paths(const std::vector<MirrorObject>& objects) {
    std::vector<std::string> paths;
    for (const MirrorObject& object : objects)
        paths.push_back(object.path + (object.replaced ? " replaced" : ""));
    return paths;
}

struct ToolRun {
    int exitCode = -1;
    std::string out;
};

ToolRun RunTool(const std::string& arguments) {
    const std::string command = std::string("'") + OMBRELTA_PATCH_TOOL + "' " + arguments + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ToolRun run;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        run.out += buffer;
    const int status = pipe ? ::pclose(pipe) : -1;
    run.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A root with one patch from nothing to two game files, a third file of the same bytes as one.
class MirrorTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        Write(root / "files/a.bin", "alpha");
        Write(root / "files/data/b.bin", "bravo!");
        Write(root / "files/data/copy.bin", "alpha");
        fs::create_directories(root / "empty");
        Write(root / "new/a.bin", "alpha");
        fs::create_directories(root / "patches");
        ASSERT_TRUE(MakePatch({root / "empty", root / "new", 1, root / "patches/p1.zip"}).problems.empty());
    }

    static void Write(const fs::path& file, const std::string& bytes) {
        WriteFileBytes(file.wstring(), bytes);
    }

    TempDir dir;
    const fs::path root = fs::path(dir.Path()) / "root";
    const fs::path out = fs::path(dir.Path()) / "mirror";
    const std::string alpha = "md5/" + Md5Hex("alpha");
    const std::string bravo = "md5/" + Md5Hex("bravo!");
};

TEST_F(MirrorTreeTest, AddsKeepsReplacesAndPrunesOnlyWhenAsked) {
    const MirrorOutcome first = LayOutMirror(root, out, false);
    ASSERT_TRUE(first.problems.empty());
    EXPECT_EQ(Paths(first.added), (std::vector<std::string>{alpha, bravo, "patches/p1.zip"}));
    EXPECT_EQ(ReadFileBytes((out / alpha).wstring()), "alpha");
    EXPECT_EQ(ReadFileBytes((out / "patches/p1.zip").wstring()),
              ReadFileBytes((root / "patches/p1.zip").wstring()));

    fs::remove(out / bravo);  // a hard link: writing into it would change the game file too
    Write(out / bravo, "bravo?");
    Write(out / "md5/0123456789abcdef0123456789abcdef", "stale");
    const MirrorOutcome second = LayOutMirror(root, out, false);
    EXPECT_EQ(Paths(second.added), (std::vector<std::string>{bravo + " replaced"}));
    EXPECT_EQ(Paths(second.kept), (std::vector<std::string>{alpha, "patches/p1.zip"}));
    EXPECT_EQ(ReadFileBytes((out / bravo).wstring()), "bravo!");
    EXPECT_TRUE(second.pruned.empty());
    EXPECT_TRUE(fs::exists(out / "md5/0123456789abcdef0123456789abcdef"));

    const MirrorOutcome third = LayOutMirror(root, out, true);
    EXPECT_TRUE(third.added.empty());
    EXPECT_EQ(Paths(third.pruned), (std::vector<std::string>{"md5/0123456789abcdef0123456789abcdef"}));
    EXPECT_EQ(third.pruned[0].bytes, 5u);
    EXPECT_FALSE(fs::exists(out / ".staging"));
}

TEST_F(MirrorTreeTest, LinksOnOneFileSystemAndCopiesAcrossTwo) {
    const MirrorOutcome linked = LayOutMirror(root, out, false);
    for (const MirrorObject& object : linked.added)
        EXPECT_TRUE(object.linked) << object.path;
    EXPECT_TRUE(fs::equivalent(out / "patches/p1.zip", root / "patches/p1.zip"));

    struct stat tmp {
    }, shm{};
    if (::stat(root.c_str(), &tmp) != 0 || ::stat("/dev/shm", &shm) != 0 || tmp.st_dev == shm.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm: copies are not tested";
    const fs::path elsewhere = fs::path("/dev/shm") / ("ombrelta-mirror-" + std::to_string(::getpid()));
    const MirrorOutcome copied = LayOutMirror(root, elsewhere, false);
    for (const MirrorObject& object : copied.added)
        EXPECT_FALSE(object.linked) << object.path;
    EXPECT_EQ(ReadFileBytes((elsewhere / bravo).wstring()), "bravo!");
    EXPECT_EQ(LayOutMirror(root, elsewhere, false).kept.size(), 3u);
    fs::remove_all(elsewhere);
}

TEST_F(MirrorTreeTest, ToolPrintsWhatItDidAndRefusesWhatItCannotUse) {
    const std::string rootArg = "--root '" + root.string() + "'";
    const ToolRun run = RunTool("mirror " + rootArg + " --out '" + out.string() + "'");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("added patches/p1.zip: "), std::string::npos) << run.out;
    EXPECT_NE(
        run.out.find("added 3 objects (" + std::to_string(5 + 6 + fs::file_size(root / "patches/p1.zip")) +
                     " bytes), kept 0 objects (0 bytes), pruned 0 objects (0 bytes)"),
        std::string::npos)
        << run.out;

    Write(root / "patches/p2.zip", "not a zip");
    const struct {
        std::string arguments;
        std::string complaint;
    } refusals[] = {
        {"mirror " + rootArg, "mirror: missing --out DIR"},
        {"mirror " + rootArg + " --out x --purge now", "mirror: unknown option --purge"},
        {"mirror --root '" + (root / "files").string() + "' --out x", "holds neither patches/ nor files/"},
        {"mirror " + rootArg + " --out x", "p2.zip is not a readable zip archive"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.arguments);
        const ToolRun refused = RunTool(refusal.arguments);
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_NE(refused.out.find(refusal.complaint), std::string::npos) << refused.out;
    }
    EXPECT_FALSE(fs::exists("x"));
}

TEST_F(MirrorTreeTest, ListTellsWhatTheRootServes) {
    const ToolRun run = RunTool("list --root '" + root.string() + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "version 1: p1.zip, " + std::to_string(fs::file_size(root / "patches/p1.zip")) +
                  " bytes, 1 whole and 0 delta entries, not signed (no ombrelta.sig): launchers with a "
                  "publickey refuse it\n"
                  "game files: 3, 16 bytes; the game files are not signed: no ombrelta-files.sig\n"
                  "newest version: 1\n");
}

}  // namespace
}  // namespace ombrelta::patchkit
