// What the tools say about a command line or an input they cannot use, and --help and --version,
// run as an operator runs them.
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::vector<std::string>& argv, const fs::path& dir) {
    ChildProcess tool(argv, PathArg(dir), PathArg(dir / "stderr.txt"));
    ToolRun run;
    run.out = tool.ReadToEnd(kChildTimeout);
    run.exitCode = tool.Wait(kChildTimeout);
    run.err = ReadFile(dir / "stderr.txt");
    return run;
}

TEST(ToolErrorsTest, EveryToolPrintsItsUsageAndItsVersion) {
    const std::pair<std::string, std::string> tools[] = {{"ombrelta-server", ServerExe()},
                                                         {"ombrelta-check", OMBRELTA_CHECK_EXE},
                                                         {"ombrelta-patch", OMBRELTA_PATCH_EXE},
                                                         {"ombrelta-config", OMBRELTA_CONFIG_EXE}};
    TempDir temp;
    for (const auto& [name, program] : tools) {
        SCOPED_TRACE(name);
        const ToolRun help = RunTool({program, "--help"}, temp.Path());
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.out.starts_with("usage: " + name + " ")) << help.out;
        const ToolRun version = RunTool({program, "--version"}, temp.Path());
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, name + " " + OMBRELTA_PROJECT_VERSION + ".0\n");
    }
}

// Each refusal names what was wrong, on its first line, with exit code 2.
TEST(ToolErrorsTest, PatchToolNamesWhatIsWrong) {
    TempDir temp;
    const fs::path dir(temp.Path());
    WriteTree(dir / "old", {{"a.txt", "1"}});
    WriteTree(dir / "new", {{"a.txt", "2"}});
    const std::vector<std::string> trees = {"--from", "old", "--to", "new"};
    auto make = [&](std::vector<std::string> rest) {
        std::vector<std::string> argv{OMBRELTA_PATCH_EXE, "make"};
        argv.insert(argv.end(), trees.begin(), trees.end());
        argv.insert(argv.end(), rest.begin(), rest.end());
        return argv;
    };
    struct Row {
        std::vector<std::string> argv;
        std::string firstLine;
    } rows[] = {
        {{OMBRELTA_PATCH_EXE}, "missing command: expected make, verify, keygen, public-key, sign, sign-files, mirror, publish or list"},
        {make({"--out", "p.zip"}), "make: missing --version N"},
        {make({"--version", "abc", "--out", "p.zip"}), "--version: expected a whole number from 1 to 65535, got abc"},
        {make({"--version", "1", "--out", "p.zip", "--delat"}), "make: unknown option --delat (it takes --from"},
        {{OMBRELTA_PATCH_EXE, "make", "--from", "nope", "--to", "new", "--version", "1", "--out", "p.zip"},
         "--from: no such folder: nope"},
        {{OMBRELTA_PATCH_EXE, "verify", "nope.zip", "--version", "1"}, "patch archive: no such file: nope.zip"},
        {{OMBRELTA_PATCH_EXE, "sign-files", "root/nope", "--key", "k.pem"}, "files folder: no such folder: root/nope"},
        {{OMBRELTA_PATCH_EXE, "public-key", "--key", "nope.pem"}, "--key: no such file: nope.pem"},
        {{OMBRELTA_PATCH_EXE, "keygen", "--out"}, "--out: missing value KEY"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.firstLine);
        const ToolRun run = RunTool(row.argv, dir);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.starts_with("ombrelta-patch: " + row.firstLine)) << run.err;
        EXPECT_FALSE(fs::exists(dir / "p.zip"));
    }
}

// keygen's line goes back in wherever a public key is asked for, and public-key prints it again.
TEST(ToolErrorsTest, ThePublicKeyLineOfKeygenIsTakenAsItStands) {
    TempDir temp;
    const fs::path dir(temp.Path());
    const ToolRun keygen = RunTool({OMBRELTA_PATCH_EXE, "keygen", "--out", "k.pem"}, dir);
    ASSERT_EQ(keygen.exitCode, 0);
    ASSERT_TRUE(keygen.out.starts_with("publickey=")) << keygen.out;
    const ToolRun again = RunTool({OMBRELTA_PATCH_EXE, "public-key", "--key", "k.pem"}, dir);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, keygen.out);

    WriteTree(dir / "root" / "files", {{"a.txt", "a"}});
    fs::create_directories(dir / "root" / "patches");
    ASSERT_EQ(RunTool({OMBRELTA_PATCH_EXE, "sign-files", "root/files", "--key", "k.pem", "--version", "0"}, dir).exitCode,
              0);
    const std::string line = keygen.out.substr(0, keygen.out.size() - 1);
    const ToolRun check = RunTool({ServerExe(), "--root", "root", "--check", "--public-key", line}, dir);
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_TRUE(check.out.starts_with("content good: ")) << check.out;
}

}  // namespace
}  // namespace ombrelta::test
