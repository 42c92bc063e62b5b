// The checker on a volume too small for the repair it must make: refused before any byte.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

// A tmpfs of its own at dir while it lives; not mounted where the system does not allow it.
class SmallVolume {
public:
    SmallVolume(const fs::path& dir, const std::string& size) : dir(dir) {
        fs::create_directories(dir);
        const std::string command =
            "mount -t tmpfs -o size=" + size + " ombrelta-test '" + PathArg(dir) + "' 2>/dev/null";
        mounted = std::system(command.c_str()) == 0;
    }
    ~SmallVolume() {
        if (mounted)
            (void)std::system(("umount '" + PathArg(dir) + "'").c_str());
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    bool Mounted() const { return mounted; }

private:
    fs::path dir;
    bool mounted = false;
};

TEST(CheckDiskSpace, ARepairLargerThanTheVolumeIsRefusedWithNothingDownloaded) {
    TempDir temp;
    const fs::path root(temp.Path());
    WriteTree(root / "server/files", {{"data/world/mossfield.pak", PseudoRandomBytes(16 << 20, 31)}});
    SmallVolume volume(root / "install", "8m");
    if (!volume.Mounted())
        GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    ServerProcess server(PathArg(root / "server"), {}, PathArg(root / "server.log"));
    ASSERT_NE(server.Port(), 0);
    WriteLauncherConfig(root / "install", server.Port(), "resume=1\n");

    const RunResult run = RunToEnd({OMBRELTA_CHECK_EXE, "--lines"}, PathArg(root / "install"), kChildTimeout);

    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_TRUE(
        run.out.ends_with("0\tRepairing data\\world\\mossfield.pak\n"
                          "error\tNot enough disk space: data/world/mossfield.pak\n"))
        << run.out;
    std::size_t entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root / "install")) {
        EXPECT_EQ(entry.path().filename(), "Ombrel.dat");
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
