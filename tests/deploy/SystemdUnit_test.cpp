// The systemd unit as systemd itself reads it.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(SystemdUnit, PassesSystemdAnalyzeVerify) {
    const RunResult which = RunToEnd({"/bin/sh", "-c", "command -v systemd-analyze"}, ".", kChildTimeout);
    if (which.exitCode != 0)
        GTEST_SKIP() << "systemd-analyze not found: the unit is not checked";
    TempDir dir;
    // verify also checks that the program exists, so the unit names the server just built.
    const fs::path unit = fs::path(dir.Path()) / "ombrelta-server.service";
    const std::string text = ReadFile(fs::path(OMBRELTA_SOURCE_DIR) / "deploy/systemd/ombrelta-server.service");
    ASSERT_NE(text.find("/usr/local/bin/ombrelta-server"), std::string::npos);
    WriteFile(unit, Replaced(text, "/usr/local/bin/ombrelta-server", OMBRELTA_SERVER_EXE));

    // Unknown keys and bad values are only reported, with exit code 0: any output is a fault.
    const std::string command = "systemd-analyze verify '" + PathArg(unit) + "' 2>&1";
    const RunResult verify = RunToEnd({"/bin/sh", "-c", command}, PathArg(dir.Path()), kChildTimeout);
    EXPECT_EQ(verify.exitCode, 0);
    EXPECT_EQ(verify.out, "");
    for (const char* key : {"DynamicUser=yes", "ProtectSystem=strict", "ReadOnlyPaths=", "NoNewPrivileges=yes",
                            "ExecReload=/bin/kill -HUP $MAINPID"}) {
        SCOPED_TRACE(key);
        EXPECT_NE(text.find(std::string("\n") + key), std::string::npos);
    }
}

}  // namespace
}  // namespace ombrelta::test
