// Parts of downloads that can no longer be continued are deleted once a run reaches "Ready.".
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/PartialDownload.h"
#include "config/LauncherConfig.h"
#include "service/LauncherService.h"
#include "tests/support/FakeLauncherServer.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::FakeLauncherServer;
using test::FileExists;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

void WriteConfig(const std::wstring& dir, std::uint16_t port, const std::string& options) {
    const std::string text = "host=127.0.0.1\nport=" + std::to_string(port) + "\n" + options;
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    ScrambleConfig(bytes);
    WriteFileBytes(dir + L"Ombrel.dat", std::string(bytes.begin(), bytes.end()));
}

TEST(LauncherPartCleanupTest, ReadyDeletesStalePartsOnlyWithTheKeysThatMakeThem) {
    const std::vector<std::wstring> stale = {L"a.bin.download", L"a.bin.download.resume",
                                             L"gone.bin.download", L"gone.bin.download.resume",
                                             L"_patch_temp/p1.zip.download"};
    struct Row {
        std::string options;
        bool deleted;
    };
    for (const Row& row : std::vector<Row>{{"", false}, {"resume=1\n", true}}) {
        SCOPED_TRACE(row.options);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        FakeLauncherServer server({}, {test::ListedFile(0, "a.bin", "alpha")});
        WriteFileBytes(dir.Child(L"a.bin"), "alpha");
        WriteFileBytes(dir.Child(L"a.bin.download"), "alp");
        WriteFileBytes(dir.Child(L"a.bin.download.resume"), GameFilePartRecord(5, "0"));
        WriteFileBytes(dir.Child(L"gone.bin.download"), "gone");
        WriteFileBytes(dir.Child(L"gone.bin.download.resume"), GameFilePartRecord(9, "0"));
        WriteFileBytes(dir.Child(L"_patch_temp/p1.zip.download"), "patch");
        WriteConfig(dir.Path(), server.Port(), row.options);
        LauncherService service(dir.Path());
        ASSERT_TRUE(service.LoadConfig());
        std::string errorText;

        EXPECT_TRUE(service.RunStartupChecks(errorText, nullptr)) << errorText;

        for (const std::wstring& file : stale)
            EXPECT_EQ(FileExists(dir.Child(file)), !row.deleted) << std::string(file.begin(), file.end());
        EXPECT_EQ(FileExists(dir.Child(L"_patch_temp")), !row.deleted);
        EXPECT_TRUE(FileExists(dir.Child(L"a.bin")));
    }
}

}  // namespace
}  // namespace ombrelta
