// A file check that goes on after a reconnection: the list asked for again decides where.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tests/verify/GameServer.h"
#include "verify/FileVerifier.h"

namespace ombrelta {
namespace {

using test::GameServer;
using test::IntactFile;
using test::ReadFileBytes;
using test::ReportLog;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

using Reports = std::vector<std::pair<std::string, std::int32_t>>;

const std::string kMiddle = std::string(1200, 'm') + std::string(1300, 'n');

std::vector<GameServer::File> Numbered(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<GameServer::File> listed;
    for (const auto& [path, content] : files)
        listed.push_back(IntactFile(static_cast<std::uint8_t>(listed.size()), path, content));
    return listed;
}

Reports CheckingReports(const ReportLog& log) {
    Reports checking;
    for (const auto& report : log.calls) {
        if (report.first.starts_with("Checking"))
            checking.push_back(report);
    }
    return checking;
}

std::size_t ListRequests(const GameServer& server) {
    return server.Requests().size() - server.ChunkRequestCount();
}

// The first connection listed a.bin, m.bin, z.bin and was lost while m.bin was repaired.
TEST(FileCheckPositionTest, ListAskedForAgainDecidesWhereTheCheckGoesOn) {
    const std::vector<std::pair<std::string, std::string>> before = {
        {"a.bin", "alpha"}, {"m.bin", kMiddle}, {"z.bin", "zulu"}};
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::string>> now;
        bool startsOver;
        Reports checking;
    };
    const std::vector<Row> rows = {
        {"same list", before, false, {{"Checking m.bin", 66}, {"Checking z.bin", 100}}},
        {"file added before",
         {{"0.bin", "zero"}, {"a.bin", "alpha"}, {"m.bin", kMiddle}, {"z.bin", "zulu"}},
         true,
         {{"Checking 0.bin", 25}, {"Checking a.bin", 50}, {"Checking m.bin", 75}, {"Checking z.bin", 100}}},
        {"file removed",
         {{"m.bin", kMiddle}, {"z.bin", "zulu"}},
         true,
         {{"Checking m.bin", 50}, {"Checking z.bin", 100}}},
        {"file changed",
         {{"a.bin", "alpha"}, {"m.bin", kMiddle + "!"}, {"z.bin", "zulu"}},
         true,
         {{"Checking a.bin", 33}, {"Checking m.bin", 66}, {"Checking z.bin", 100}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        WriteFileBytes(dir.Child(L"a.bin"), "alpha");
        WriteFileBytes(dir.Child(L"m.bin"), kMiddle.substr(0, 1200));
        FileCheckPosition position{
            .listed = true, .entries = {}, .next = 1, .listAgain = true, .answered = {}, .interruptedRepair = "m.bin"};
        for (const GameServer::File& file : Numbered(before))
            position.entries.push_back({.id = file.id,
                                        .path = file.path,
                                        .hash = file.hash,
                                        .size = static_cast<std::uint32_t>(file.size)});
        bool startedOver = false;
        GameServer server(Numbered(row.now));
        LauncherApi api;
        server.Connect(api);
        ReportLog log;

        EXPECT_TRUE(VerifyAndRepairFiles(
            api, log.Bind(), nullptr, {.position = &position, .startingOver = [&] { startedOver = true; }}));

        EXPECT_EQ(ListRequests(server), 1u);
        EXPECT_EQ(startedOver, row.startsOver);
        EXPECT_EQ(CheckingReports(log), row.checking);
        EXPECT_FALSE(position.listAgain);
        EXPECT_FALSE(position.interruptedRepair);
        for (const auto& [path, content] : row.now)
            EXPECT_EQ(ReadFileBytes(dir.Child(std::wstring(path.begin(), path.end()))), content) << path;
    }
}

// Without a window a repair is not hashed; once a lost connection cut it short, it is.
TEST(FileCheckPositionTest, RepairThatWasCutShortIsHashed) {
    struct Row {
        const char* name;
        std::optional<std::string> interrupted;
        std::string error;
    };
    const std::vector<Row> rows = {
        {"not cut", std::nullopt, ""},
        {"another file cut", "a.bin", ""},
        {"cut", "m.bin", "Downloaded file differs from the server's list: m.bin"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WorkingDirectory cwd(dir.Path());
        GameServer::File changed = IntactFile(1, "m.bin", kMiddle);
        changed.content[1500] = 'x';
        GameServer server({changed});
        LauncherApi api;
        server.Connect(api);
        FileCheckPosition position;
        position.interruptedRepair = row.interrupted;
        std::string error;
        try {
            VerifyAndRepairFiles(api, nullptr, nullptr, {.position = &position});
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        EXPECT_EQ(error, row.error);
    }
}

}  // namespace
}  // namespace ombrelta
