#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/LauncherConfig.h"
#include "protocol/MessageCodes.h"
#include "service/ConnectionRetry.h"
#include "service/LauncherService.h"
#include "tests/support/FakeLauncherServer.h"
#include "tests/support/ReportLog.h"
#include "tests/support/TempDir.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::FakeLauncherServer;
using test::Reply;
using test::ReportLog;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

const std::string kContent = std::string(1000, 'a') + std::string(1000, 'b') + std::string(500, 'c');

void WriteConfig(const std::wstring& dir, std::uint16_t port, const std::string& options) {
    const std::string text = "host=127.0.0.1\nport=" + std::to_string(port) + "\n" + options;
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    ScrambleConfig(bytes);
    WriteFileBytes(dir + L"Ombrel.dat", std::string(bytes.begin(), bytes.end()));
}

bool IsFileChunk(const Bytes& request) {
    return test::RequestCode(request) == HASH_DATA && test::U16At(request, 2) == kFileChunkSubType;
}

// Closes the connection instead of answering the first cuts chunk requests at offset 1000.
FakeLauncherServer::Intercept CutAtSecondChunk(std::atomic<int>& cuts) {
    return [&cuts](const Bytes& request) -> std::optional<Reply> {
        if (IsFileChunk(request) && test::U32At(request, 6) == 1000 && cuts > 0) {
            --cuts;
            return Reply::Close();
        }
        return std::nullopt;
    };
}

std::vector<std::uint32_t> ChunkOffsets(const FakeLauncherServer& server) {
    std::vector<std::uint32_t> offsets;
    for (const Bytes& request : server.RequestPayloads()) {
        if (IsFileChunk(request))
            offsets.push_back(test::U32At(request, 6));
    }
    return offsets;
}

std::size_t HashListRequests(const FakeLauncherServer& server) {
    std::size_t count = 0;
    for (const Bytes& request : server.RequestPayloads())
        count += test::RequestCode(request) == HASH_LIST_REQUEST ? 1 : 0;
    return count;
}

std::vector<ReportLog::Report> RetryReports(const ReportLog& log) {
    std::vector<ReportLog::Report> retries;
    for (const ReportLog::Report& report : log.calls) {
        if (report.first.starts_with("Connection lost"))
            retries.push_back(report);
    }
    return retries;
}

TEST(LauncherReconnectTest, RetryTextsAndDelays) {
    EXPECT_EQ(RetryReportText(4, 3, 5), L"Connection lost, retrying in 4 s (3 of 5)...");
    const std::vector<int> delays = {1, 2, 4, 8, 8, 8};
    for (int failed = 0; failed < static_cast<int>(delays.size()); ++failed)
        EXPECT_EQ(RetryDelaySeconds(failed), delays[failed]) << failed;
}

TEST(LauncherReconnectTest, LostConnectionIsConnectedAgainOnlyWithTheKey) {
    struct Row {
        std::string options;
        bool passed;
        std::vector<std::uint32_t> offsets;
    };
    const std::vector<Row> rows = {
        {"", false, {0, 1000}},
        {"retries=2\n", true, {0, 1000, 0, 1000, 2000}},
        {"retries=2\nresume=1\n", true, {0, 1000, 1000, 2000}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.options);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        FakeLauncherServer server({}, {test::ListedFile(1, "big.bin", kContent)});
        std::atomic<int> cuts{1};
        server.SetIntercept(CutAtSecondChunk(cuts));
        WriteConfig(dir.Path(), server.Port(), row.options);
        LauncherService service(dir.Path());
        ASSERT_TRUE(service.LoadConfig());
        ReportLog log;
        std::string errorText;

        EXPECT_EQ(service.RunStartupChecks(errorText, log.Bind()), row.passed);

        EXPECT_EQ(ChunkOffsets(server), row.offsets);
        EXPECT_EQ(server.Connections().size(), row.passed ? 2u : 1u);
        // The list is asked for again after the reconnection; the same list goes on where it was.
        EXPECT_EQ(HashListRequests(server), row.passed ? 2u : 1u);
        if (row.passed) {
            EXPECT_EQ(RetryReports(log), (std::vector<ReportLog::Report>{
                                             {"Connection lost, retrying in 1 s (1 of 2)...", 40}}));
            EXPECT_EQ(test::ReadFileBytes(dir.Child(L"big.bin")), kContent);
        } else {
            EXPECT_TRUE(RetryReports(log).empty());
            EXPECT_FALSE(errorText.empty());
        }
    }
}

// Ids could name other files once the server's content changed: a download that went through a
// reconnection is hashed, without a window too.
TEST(LauncherReconnectTest, RepairThatDiffersAfterTheReconnectionFails) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    FakeLauncherServer server({}, {test::ListedFile(1, "big.bin", kContent)});
    std::atomic<int> cuts{1};
    server.SetIntercept([&cuts, cut = CutAtSecondChunk(cuts)](const Bytes& request) -> std::optional<Reply> {
        if (cuts > 0 || !IsFileChunk(request))
            return cut(request);
        return Reply::Payload(test::PayloadBuilder()
                                  .U16(HASH_DATA)
                                  .U16(0)
                                  .U16(0)
                                  .U32(1)
                                  .U32(2500)
                                  .Raw(std::string(2500, 'x'))
                                  .Take());
    });
    WriteConfig(dir.Path(), server.Port(), "retries=1\n");
    LauncherService service(dir.Path());
    ASSERT_TRUE(service.LoadConfig());
    std::string errorText;

    EXPECT_FALSE(service.RunStartupChecks(errorText, nullptr));

    EXPECT_EQ(errorText, "Downloaded file differs from the server's list: big.bin");
    EXPECT_EQ(server.Connections().size(), 2u);
}

TEST(LauncherReconnectTest, FailureThatKeepsTheConnectionIsNotRetried) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    FakeLauncherServer server({}, {test::ListedFile(1, "../outside.bin", kContent)});
    WriteConfig(dir.Path(), server.Port(), "retries=3\n");
    LauncherService service(dir.Path());
    ASSERT_TRUE(service.LoadConfig());
    ReportLog log;
    std::string errorText;
    EXPECT_FALSE(service.RunStartupChecks(errorText, log.Bind()));
    EXPECT_EQ(errorText, "Unsafe file path: ../outside.bin");
    EXPECT_TRUE(RetryReports(log).empty());
    EXPECT_EQ(server.Connections().size(), 1u);
}

// Without the close ending the wait, the run would connect again and meet the next cut.
TEST(LauncherReconnectTest, CloseDuringTheWaitEndsTheRun) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    FakeLauncherServer server({}, {test::ListedFile(1, "big.bin", kContent)});
    std::atomic<int> cuts{100};
    server.SetIntercept(CutAtSecondChunk(cuts));
    WriteConfig(dir.Path(), server.Port(), "retries=10\n");
    LauncherService service(dir.Path());
    ASSERT_TRUE(service.LoadConfig());
    std::atomic<bool> waiting{false};
    std::string errorText;
    std::thread run([&] {
        service.RunStartupChecks(errorText, [&](const std::wstring& message, std::int32_t) {
            if (message.starts_with(L"Connection lost"))
                waiting = true;
        });
    });
    while (!waiting)
        std::this_thread::yield();
    service.Close();
    run.join();
    EXPECT_EQ(cuts, 99);
    EXPECT_EQ(server.Connections().size(), 1u);
}

TEST(LauncherReconnectTest, FurtherServersTakeOverAFirstRequestOrAConnectionLost) {
    struct Row {
        std::string name;
        std::string options;
        bool closeFirstRequest;
        bool passed;
        std::size_t secondConnections;
    };
    const std::vector<Row> rows = {
        {"first request unanswered", "", true, true, 1},
        {"first request unanswered, no further server", "servers=\n", true, false, 0},
        {"lost in mid-repair without retries", "", false, false, 0},
        {"lost in mid-repair with retries", "retries=1\n", false, true, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        FakeLauncherServer first({}, {test::ListedFile(1, "big.bin", kContent)});
        FakeLauncherServer second({}, {test::ListedFile(1, "big.bin", kContent)});
        std::atomic<int> cuts{1};
        first.SetIntercept(row.closeFirstRequest
                               ? FakeLauncherServer::Intercept([](const Bytes&) { return Reply::Close(); })
                               : CutAtSecondChunk(cuts));
        WriteConfig(dir.Path(), first.Port(),
                    "servers=127.0.0.1:" + std::to_string(second.Port()) + "\n" + row.options);
        LauncherService service(dir.Path());
        ASSERT_TRUE(service.LoadConfig());
        std::vector<std::size_t> places;
        service.WatchConnections([&](std::size_t place, std::size_t, const ServerAddress&) { places.push_back(place); });
        ReportLog log;
        std::string errorText;

        EXPECT_EQ(service.RunStartupChecks(errorText, log.Bind()), row.passed) << errorText;

        EXPECT_EQ(first.Connections().size(), 1u);
        EXPECT_EQ(second.Connections().size(), row.secondConnections);
        EXPECT_EQ(places.size(), 1 + row.secondConnections);
        // A server passed over before its first answer leaves no report of its own.
        const auto checkingPatches = std::count(log.calls.begin(), log.calls.end(),
                                                ReportLog::Report{"Checking patches...", 20});
        EXPECT_EQ(checkingPatches, row.closeFirstRequest || !row.passed ? 1 : 2);
        if (row.passed) {
            EXPECT_EQ(test::ReadFileBytes(dir.Child(L"big.bin")), kContent);
        }
    }
}

}  // namespace
}  // namespace ombrelta
