// The checker cut off in mid-repair while the server's content changes before it connects again:
// it asks for the list again and ends with every file as the new list says.
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/CuttingProxy.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kChunk = 16000;
// Past the patch answers, the list and three chunks: in the middle of m.bin's fourth chunk.
constexpr std::uint64_t kCutAt = 4 * kChunk - 2000;

const std::vector<FileSpec>& ServedFiles() {
    static const std::vector<FileSpec> files{{"a.txt", "alpha\n"},
                                             {"m.bin", PseudoRandomBytes(300000, 41)},
                                             {"z.bin", PseudoRandomBytes(40000, 42)}};
    return files;
}

struct Change {
    const char* name;
    const char* mode;
    std::function<void(const fs::path& root)> apply;
    // Reports that must follow the retry report, in this order, and reports that must not.
    std::vector<std::string> afterRetry;
    std::vector<std::string> notAfterRetry;
};

void PublishPatch(const fs::path& root) {
    MakeZip(root / "patches" / "patch-0001.zip", {{"version.dat", "1\n"}, {"p.dat", "from the patch\n"}});
    WriteFile(root / "files" / "p.dat", "from the patch\n");
    WriteFile(root / "files" / "z.bin", PseudoRandomBytes(40000, 43));
}

const std::vector<Change>& Changes() {
    static const std::vector<Change> changes{
        {"file added before the one repaired",
         "startup",
         [](const fs::path& root) { WriteFile(root / "files" / "b.txt", "bravo\n"); },
         {"70\tChecking game files...", "25\tChecking a.txt", "50\tChecking b.txt", "75\tChecking m.bin",
          "100\tChecking z.bin", "100\tReady."},
         {}},
        {"file removed",
         "before-start",
         [](const fs::path& root) { fs::remove(root / "files" / "a.txt"); },
         {"10\tChecking files before start...", "50\tChecking m.bin", "100\tChecking z.bin",
          "100\tFiles checked successfully."},
         {"Checking a.txt"}},
        {"nothing changed",
         "startup",
         [](const fs::path&) {},
         {"70\tChecking game files...", "0\tRepairing m.bin", "66\tChecking m.bin", "100\tChecking z.bin",
          "100\tReady."},
         {"Checking a.txt"}},
        {"nothing changed, before start",
         "before-start",
         [](const fs::path&) {},
         {"0\tRepairing m.bin", "66\tChecking m.bin", "100\tChecking z.bin",
          "100\tFiles checked successfully."},
         {"Checking a.txt", "Checking files before start..."}},
        {"patch published",
         "startup",
         PublishPatch,
         {"100\tPatch 1 installed.", "70\tChecking game files...", "25\tChecking a.txt", "50\tChecking m.bin",
          "75\tChecking p.dat", "100\tChecking z.bin", "100\tReady."},
         {}},
    };
    return changes;
}

void ExpectInOrder(const std::string& out, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const std::string& line : lines) {
        at = out.find("\n" + line + "\n", at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << out;
        ++at;
    }
}

void RunChanges(const std::vector<std::string>& checker) {
    for (const Change& change : Changes()) {
        SCOPED_TRACE(change.name);
        TempDir temp;
        const fs::path root = fs::path(temp.Path()) / "server", install = fs::path(temp.Path()) / "install";
        WriteTree(root / "files", ServedFiles());
        fs::create_directories(root / "patches");
        WriteFile(install / "a.txt", "alpha\n");
        ServerProcess server(PathArg(root), {"--chunk-size", std::to_string(kChunk)},
                             PathArg(fs::path(temp.Path()) / "server.log"));
        ASSERT_NE(server.Port(), 0);
        // The client waits for the rest of its chunk while the content changes and reloads.
        auto proxy = std::make_unique<CuttingProxy>(server.Port(), kCutAt, 1, [&] {
            change.apply(root);
            server.Signal(SIGHUP);
            server.WaitForLog("reloaded;");
        });
        ASSERT_NE(proxy->Port(), 0);
        WriteLauncherConfig(install, proxy->Port(), "retries=1\n");
        std::vector<std::string> argv = checker;
        argv.insert(argv.end(), {"--mode", change.mode});

        const RunResult run = RunToEnd(argv, PathArg(install), kChildTimeout);

        EXPECT_EQ(run.exitCode, 0) << run.out << server.Log();
        EXPECT_EQ(proxy->Cuts(), 1);
        // Its relay threads touched the server from the hook: they end before the server does.
        proxy.reset();
        const std::size_t retry = run.out.find("\tConnection lost, retrying in 1 s (1 of 1)...\n");
        ASSERT_NE(retry, std::string::npos) << run.out;
        const std::string afterRetry = run.out.substr(retry);
        ExpectInOrder(afterRetry, change.afterRetry);
        for (const std::string& text : change.notAfterRetry)
            EXPECT_EQ(afterRetry.find(text), std::string::npos) << text << "\n" << run.out;
        for (const auto& file : fs::directory_iterator(root / "files"))
            EXPECT_TRUE(ReadFile(install / file.path().filename()) == ReadFile(file.path())) << file.path();
        EXPECT_EQ(server.Stop(), 0);
    }
}

TEST(ReconnectContentChange, NativeChecker) {
    RunChanges({OMBRELTA_CHECK_EXE});
}

TEST(ReconnectContentChange, WindowsCheckerUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunChanges({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

}  // namespace
}  // namespace ombrelta::test
