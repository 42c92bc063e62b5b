#include "service/RunLog.h"

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "common/Path.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

// 2026-12-08 09:41:07.254 local time, whatever the zone: the stamp is checked for its shape.
std::chrono::system_clock::time_point FixedTime() {
    return std::chrono::system_clock::from_time_t(1796730000) + std::chrono::milliseconds(254);
}

std::string Stamp() {
    return LocalTimeStamp(FixedTime());
}

TEST(LogFileTest, LinesCarryAStampAndMoveAsideBeforePassingTheLimit) {
    test::TempDir dir;
    const std::wstring path = JoinPath(dir.Path(), L"a.log");
    const std::size_t lineSize = Stamp().size() + 1 + 10 + 1;  // stamp, blank, 10 characters, line end
    {
        LogFile log(path, 3 * lineSize, FixedTime);
        for (const char* line : {"line one..", "line two..", "line 3....", "line 4....", "bad\tline.."})
            log.Write(line);
    }
    EXPECT_EQ(Stamp().size(), 23u);
    EXPECT_EQ(Stamp().substr(19, 4), ".254");
    const std::string prefix = Stamp() + " ";
    EXPECT_EQ(test::ReadFileBytes(path + L".1"), prefix + "line one..\n" + prefix + "line two..\n" + prefix + "line 3....\n");
    EXPECT_EQ(test::ReadFileBytes(path), prefix + "line 4....\n" + prefix + "bad?line..\n");
}

TEST(LogFileTest, AFileAtTheLimitMovesAsideWhenARunStarts) {
    test::TempDir dir;
    const std::wstring path = JoinPath(dir.Path(), L"a.log");
    test::WriteFileBytes(path + L".1", "older\n");
    test::WriteFileBytes(path, std::string(64, 'x'));
    {
        LogFile log(path, 64, FixedTime);
        log.Write("new");
    }
    EXPECT_EQ(test::ReadFileBytes(path + L".1"), std::string(64, 'x'));
    EXPECT_EQ(test::ReadFileBytes(path), Stamp() + " new\n");

    // Below the limit the file is continued.
    LogFile again(path, 64, FixedTime);
    again.Write("more");
    EXPECT_EQ(test::ReadFileBytes(path), Stamp() + " new\n" + Stamp() + " more\n");
}

TEST(LogFileTest, AnUnwritableLogChangesNothing) {
    test::TempDir dir;
    LogFile log(JoinPath(dir.Path(), L"missing-folder/a.log"));
    log.Write("dropped");
    EXPECT_FALSE(PathExists(JoinPath(dir.Path(), L"missing-folder")));
}

TEST(RunLogTest, KeysInEffectNameOnlyWhatIsSetAndNeverTheKey) {
    LauncherOptions options;
    EXPECT_EQ(KeysInEffect(options), "none");
    options.pipeline = Pipeline::Auto();
    options.retries = 3;
    options.publicKey = PublicKeySet::Parse("BAEC");
    options.log = true;
    EXPECT_EQ(KeysInEffect(options), "pipeline=auto retries=3 publickey set log=1");
}

TEST(RunLogTest, EventLines) {
    struct Case {
        ProgressEvent event;
        std::string line;
    };
    using K = ProgressEventKind;
    const std::vector<Case> cases = {
        {{.kind = K::FileChecked, .subject = "a"}, ""},
        {{.kind = K::DownloadBytes, .done = 5}, ""},
        {{.kind = K::DownloadStarted, .subject = "a.pak", .done = 100, .total = 300, .detail = "server"},
         "download a.pak from server, 300 bytes, resumed at 100"},
        {{.kind = K::DownloadStarted, .subject = "p.zip", .detail = "server"}, "download p.zip from server, size unknown"},
        {{.kind = K::DownloadEnded, .subject = "a.pak", .done = 2048, .total = 300, .seconds = 2, .window = 64},
         "download a.pak ended: 2048 bytes received in 2.000 s (1 KiB/s), window 64, complete"},
        {{.kind = K::DownloadEnded, .subject = "a.pak", .seconds = 0, .window = 1, .detail = "cut"},
         "download a.pak ended: 0 bytes received in 0.000 s (0 KiB/s), window 1, failed: cut"},
        {{.kind = K::RepairCut, .subject = "a.pak", .detail = "Failed"}, "repair failed: a.pak: Failed"},
        {{.kind = K::Reconnecting, .done = 2, .total = 3, .seconds = 2},
         "connection lost; reconnecting in 2 s, attempt 2 of 3"},
        {{.kind = K::PatchInstalled, .subject = "p.zip", .version = 7}, "patch 7 installed: p.zip"},
        {{.kind = K::Failed, .detail = "why"}, "failure: why"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(EventLine(row.event), row.line);
    }
}

}  // namespace
}  // namespace ombrelta
