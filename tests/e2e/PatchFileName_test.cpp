// Patch file names Windows would take for a device or for another name, from a scripted server:
// the checker, native and under Wine, fails the update as for a name with a separator, before
// any chunk is asked for and without making "_patch_temp".
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "protocol/MessageCodes.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/FakeLauncherServer.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

void RunNames(const std::vector<std::string>& checker) {
    for (const char* name : {"sub/p1.zip", "CON.zip", "patch.zip.", "a\x01.zip"}) {
        SCOPED_TRACE(name);
        TempDir temp;
        const fs::path dir(temp.Path());
        MakeZip(dir / "p1.zip", {{"version.dat", "1\r\n"}, {"readme.txt", "patched\n"}});
        FakeLauncherServer server({{1, name, ReadFile(dir / "p1.zip"), std::nullopt}}, {});
        fs::create_directories(dir / "install");
        WriteLauncherConfig(dir / "install", server.Port());
        const RunResult run = RunToEnd(checker, PathArg(dir / "install"), kChildTimeout);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.ends_with("15\tGetting next patch info...\nerror\tPatch update failed.\n"))
            << run.out;
        for (std::uint16_t code : server.RequestCodes())
            EXPECT_NE(code, GET_PATCH_CHUNK);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "install"), fs::directory_iterator()), 1);
    }
}

TEST(PatchFileName, DevicesTrimmedNamesAndControlCharactersFailTheUpdate) {
    RunNames({OMBRELTA_CHECK_EXE});
}

TEST(PatchFileName, DevicesTrimmedNamesAndControlCharactersFailTheUpdateUnderWine) {
    if (!fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
        GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
    RunNames({OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE});
}

}  // namespace
}  // namespace ombrelta::test
