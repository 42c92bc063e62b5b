#include "verify/FileVerifier.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ComputerName.h"
#include "tests/support/TempDir.h"
#include "tests/verify/GameServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::FileExists;
using test::GameServer;
using test::IntactFile;
using test::ReadFileBytes;
using test::ReportLog;
using test::TempDir;
using test::WorkingDirectory;
using test::WriteFileBytes;

using Reports = std::vector<std::pair<std::string, std::int32_t>>;

std::string Content(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 13 % 97);
    return bytes;
}

std::string NumberedName(int i) {
    std::string name = std::to_string(i);
    name.insert(0, 1, 'f');
    return name.append(".bin");
}

// Every run is repeated with the checking thread hashing alone and with hashing threads, which
// must not change a single report, request or file.
class VerifyAndRepairFilesTest : public ::testing::TestWithParam<unsigned> {
protected:
    VerifyAndRepairFilesTest() : cwd(dir.Path()) {}

    // Runs against the server; returns the error text, or "" after a successful run.
    std::string Run(GameServer& server) {
        LauncherApi api;
        server.Connect(api);
        try {
            (void)VerifyAndRepairFiles(api, log.Bind(), nullptr, {.hashThreads = GetParam()});
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        // A run that returns has gone through the whole list, so it ends at 100 percent.
        if (!log.calls.empty()) {
            EXPECT_EQ(log.calls.back().second, 100);
        }
        return "";
    }

    std::string Local(const std::wstring& name) { return ReadFileBytes(dir.Child(name)); }

    TempDir dir;
    WorkingDirectory cwd;
    ReportLog log;
};

TEST_P(VerifyAndRepairFilesTest, EmptyListReportsNothing) {
    GameServer server({});
    EXPECT_EQ(Run(server), "");
    EXPECT_TRUE(log.calls.empty());
    const std::string name = GetComputerNameNarrow().value_or("UNKNOWN");
    Bytes expected{0, 0, 0xA7, 0x9C, static_cast<std::uint8_t>(name.size())};
    expected.insert(expected.end(), name.begin(), name.end());
    expected.push_back(7);
    for (char c : std::string("UNKNOWN"))
        expected.push_back(static_cast<std::uint8_t>(c));
    expected[0] = static_cast<std::uint8_t>(expected.size());
    EXPECT_EQ(server.Requests(), std::vector<Bytes>{expected});
}

TEST_P(VerifyAndRepairFilesTest, IntactFilesReportTheirShare) {
    struct Row {
        int count;
        std::vector<std::int32_t> percents;
    };
    const std::vector<Row> rows = {{1, {100}}, {3, {33, 66, 100}}, {4, {25, 50, 75, 100}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.count);
        std::vector<GameServer::File> files;
        Reports expected;
        for (int i = 0; i < row.count; ++i) {
            const std::string name = "intact" + std::to_string(row.count) + "_" + std::to_string(i) + ".bin";
            files.push_back(IntactFile(static_cast<std::uint8_t>(i), "data/" + name, Content(3000 + i, 'a')));
            WriteFileBytes(dir.Child(L"data/" + std::wstring(name.begin(), name.end())),
                           files.back().content);
            expected.emplace_back("Checking data\\" + name, row.percents[i]);
        }
        GameServer server(files);
        log.calls.clear();
        EXPECT_EQ(Run(server), "");
        EXPECT_EQ(log.calls, expected);
        EXPECT_EQ(server.ChunkRequestCount(), 0u);
    }
}

TEST_P(VerifyAndRepairFilesTest, MissingFileInMissingDirectoryIsDownloaded) {
    GameServer server({IntactFile(9, "new/dir/file.bin", Content(2500, 'x'))});
    EXPECT_EQ(Run(server), "");
    EXPECT_EQ(log.calls, (Reports{{"Repairing new\\dir\\file.bin", 0},
                                  {"Repairing new\\dir\\file.bin", 40},
                                  {"Repairing new\\dir\\file.bin", 80},
                                  {"Repairing new\\dir\\file.bin", 100},
                                  {"Checking new\\dir\\file.bin", 100}}));
    EXPECT_EQ(Local(L"new/dir/file.bin"), Content(2500, 'x'));
    const std::vector<Bytes> requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1], (Bytes{0x0C, 0x00, 0xA6, 0x9C, 0x01, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(requests[2], (Bytes{0x0C, 0x00, 0xA6, 0x9C, 0x01, 0x00, 0x09, 0x00, 0xE8, 0x03, 0x00, 0x00}));
    EXPECT_EQ(requests[3], (Bytes{0x0C, 0x00, 0xA6, 0x9C, 0x01, 0x00, 0x09, 0x00, 0xD0, 0x07, 0x00, 0x00}));
}

TEST_P(VerifyAndRepairFilesTest, WhichFilesAreRepaired) {
    struct Row {
        const char* name;
        std::string local;  // "" for no file
        GameServer::File listed;
        bool repaired;
    };
    GameServer::File upper = IntactFile(1, "f.bin", "upper case hash");
    for (char& c : upper.hash)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    GameServer::File shortHash = IntactFile(1, "f.bin", "short hash");
    shortHash.hash.pop_back();
    GameServer::File longHash = IntactFile(1, "f.bin", "long hash");
    longHash.hash += "0";
    GameServer::File wrongSize = IntactFile(1, "f.bin", "wrong size");
    wrongSize.size += 1;
    GameServer::File hugeSize = IntactFile(1, "f.bin", "size 2^32 + 10");
    hugeSize.size += 1ll << 32;
    const std::vector<Row> rows = {
        {"intact", "same", IntactFile(1, "f.bin", "same"), false},
        {"missing", "", IntactFile(1, "f.bin", "new"), true},
        {"same size, other bytes", "abcd", IntactFile(1, "f.bin", "abce"), true},
        {"upper-case hash", "upper case hash", upper, false},
        {"hash of 31 characters", "short hash", shortHash, true},
        {"hash of 33 characters", "long hash", longHash, true},
        {"right digest, wrong size", "wrong size", wrongSize, true},
        {"size beyond 32 bits", "size 2^32 + 10", hugeSize, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::remove(("f.bin"));
        if (!row.local.empty())
            WriteFileBytes(dir.Child(L"f.bin"), row.local);
        GameServer server({row.listed});
        log.calls.clear();
        EXPECT_EQ(Run(server), "");
        EXPECT_EQ(server.ChunkRequestCount(), row.repaired ? 1u : 0u);
        EXPECT_EQ(Local(L"f.bin"), row.listed.content);
        EXPECT_EQ(log.calls.back(), (std::pair<std::string, std::int32_t>("Checking f.bin", 100)));
    }
}

TEST_P(VerifyAndRepairFilesTest, LongerFileIsTruncated) {
    WriteFileBytes(dir.Child(L"f.bin"), std::string(5000, 'z'));
    GameServer server({IntactFile(1, "f.bin", "short")});
    EXPECT_EQ(Run(server), "");
    EXPECT_EQ(Local(L"f.bin"), "short");
}

TEST_P(VerifyAndRepairFilesTest, EmptyChunkQuotesThePathAsSent) {
    WriteFileBytes(dir.Child(L"data/sub/f.bin"), "old");
    GameServer server({IntactFile(4, "data/sub/f.bin", Content(2000, 'k'))});
    server.SetFault(4, GameServer::Fault::kEmptyChunkAfterFirst);
    EXPECT_EQ(Run(server), "Server returned empty chunk: data/sub/f.bin");
    EXPECT_EQ(log.calls, (Reports{{"Repairing data\\sub\\f.bin", 0},
                                  {"Repairing data\\sub\\f.bin", 50},
                                  {"Repairing data\\sub\\f.bin", 50}}));
    EXPECT_EQ(Local(L"data/sub/f.bin"), Content(1000, 'k'));
}

TEST_P(VerifyAndRepairFilesTest, DirectoryWhereAFileIsListed) {
    WriteFileBytes(dir.Child(L"data/f.bin/inner"), "keep");
    GameServer server({IntactFile(2, "data/f.bin", "content")});
    EXPECT_EQ(Run(server), "Cannot create local file: data/f.bin");
    EXPECT_EQ(log.calls, (Reports{{"Repairing data\\f.bin", 0}}));
    EXPECT_EQ(server.ChunkRequestCount(), 0u);
}

TEST_P(VerifyAndRepairFilesTest, FailureEndsTheRunAtItsEntry) {
    std::vector<GameServer::File> files;
    for (int i = 1; i <= 10; ++i) {
        const std::string name = NumberedName(i);
        files.push_back(
            IntactFile(static_cast<std::uint8_t>(i), name, Content(100, static_cast<char>('a' + i))));
        WriteFileBytes(dir.Child(std::wstring(name.begin(), name.end())), "stale " + name);
    }
    GameServer server(files);
    server.SetFault(5, GameServer::Fault::kWrongAnswerType);
    EXPECT_EQ(Run(server), "Invalid response for hash file download.");
    for (int i = 1; i <= 10; ++i) {
        SCOPED_TRACE(i);
        const std::string name = NumberedName(i);
        const std::wstring nameW(name.begin(), name.end());
        EXPECT_EQ(server.ChunkOffsets(static_cast<std::uint8_t>(i)).size(), i <= 5 ? 1u : 0u);
        if (i < 5) {
            EXPECT_EQ(Local(nameW), files[i - 1].content);
        }
        if (i > 5) {
            EXPECT_EQ(Local(nameW), "stale " + name);
        }
    }
    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(log.calls.back(), (std::pair<std::string, std::int32_t>("Repairing f5.bin", 0)));
}

TEST_P(VerifyAndRepairFilesTest, UnsafePathsEndTheRunWhenReached) {
    const std::vector<std::string> unsafe = {"",
                                             "../escape.bin",
                                             "a/../../escape.bin",
                                             "/abs.bin",
                                             "\\abs.bin",
                                             "C:escape.bin",
                                             "C:\\escape.bin",
                                             "\\\\server\\share\\x.bin",
                                             "//server/share/x.bin",
                                             "\\\\?\\C:\\x.bin",
                                             "data/con.txt",
                                             "COM1",
                                             "x.bin:stream",
                                             "trailing.bin."};
    for (const std::string& path : unsafe) {
        SCOPED_TRACE(path);
        std::remove("before.bin");
        GameServer::File bad = IntactFile(2, path, "bad");
        GameServer server({IntactFile(1, "before.bin", "before"), bad, IntactFile(3, "after.bin", "after")});
        log.calls.clear();
        EXPECT_EQ(Run(server), "Unsafe file path: " + path);
        EXPECT_EQ(Local(L"before.bin"), "before");
        EXPECT_FALSE(FileExists(dir.Child(L"after.bin")));
        EXPECT_EQ(server.ChunkOffsets(2).size(), 0u);
        EXPECT_EQ(server.ChunkOffsets(3).size(), 0u);
        ASSERT_FALSE(log.calls.empty());
        EXPECT_EQ(log.calls.back(), (std::pair<std::string, std::int32_t>("Checking before.bin", 33)));
    }
    EXPECT_FALSE(FileExists(dir.Child(L"../escape.bin")));
}

TEST_P(VerifyAndRepairFilesTest, SameFileListedTwice) {
    WriteFileBytes(dir.Child(L"twice.bin"), Content(4000, 'o'));
    GameServer server(
        {IntactFile(1, "twice.bin", Content(4000, 'n')), IntactFile(2, "twice.bin", Content(4000, 'n'))});
    EXPECT_EQ(Run(server), "");
    EXPECT_EQ(server.ChunkOffsets(1).size(), 4u);
    EXPECT_EQ(server.ChunkOffsets(2).size(), 0u);
    EXPECT_EQ(log.calls.back(), (std::pair<std::string, std::int32_t>("Checking twice.bin", 100)));
}

// The second entry describes the file as it was before the first one's repair rewrote it; a
// digest taken ahead of that repair would wrongly pass it.
TEST_P(VerifyAndRepairFilesTest, FileRewrittenByAnEarlierRepairIsCheckedAgain) {
    const std::string before = Content(200000, 'b');
    const std::string after = Content(200000, 'a');
    for (const char* alias : {"shared.bin", "./shared.bin", ".\\shared.bin"}) {
        SCOPED_TRACE(alias);
        WriteFileBytes(dir.Child(L"shared.bin"), before);
        std::vector<GameServer::File> files;
        for (int i = 0; i < 6; ++i)
            files.push_back(IntactFile(static_cast<std::uint8_t>(10 + i), "pad" + std::to_string(i), "p"));
        files.push_back(IntactFile(1, "shared.bin", after));
        files.push_back(IntactFile(2, alias, before));
        files.push_back(IntactFile(3, "shared.bin", before));
        GameServer server(files, 60000);
        log.calls.clear();
        EXPECT_EQ(Run(server), "");
        EXPECT_EQ(server.ChunkOffsets(1).size(), 4u);
        EXPECT_EQ(server.ChunkOffsets(2).size(), 4u);
        EXPECT_EQ(server.ChunkOffsets(3).size(), 0u);
        EXPECT_EQ(Local(L"shared.bin"), before);
    }
}

INSTANTIATE_TEST_SUITE_P(HashThreads, VerifyAndRepairFilesTest, ::testing::Values(0u, 1u, 2u, 4u));

}  // namespace
}  // namespace ombrelta
