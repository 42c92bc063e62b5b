#include "verify/VerifiedFileCache.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/FileSystem.h"
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
using Clock = std::filesystem::file_time_type::clock;

const std::string kOld = "old content of f";
const std::string kNew = "new content of f";

// Whole seconds, since not every host sets a file's time more finely.
std::filesystem::file_time_type DaysFromNow(int days) {
    return std::chrono::floor<std::chrono::seconds>(Clock::now() + std::chrono::hours(24 * days));
}

// The body with its byte at offset set to value, followed by the MD5 that makes it look whole.
std::string WithChecksum(std::string body, std::size_t offset, char value) {
    body[offset] = value;
    const std::string hex = test::Md5OfBytes(body);
    for (std::size_t i = 0; i < hex.size(); i += 2)
        body += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return body;
}

void SetWriteTime(const std::wstring& path, std::filesystem::file_time_type when) {
    std::filesystem::last_write_time(ToNativePath(path), when);
}

// "a.bin" stays intact throughout; "f.bin" holds kOld, recorded by a first run, before each
// row changes something and a second run checks again.
class VerifiedFileCacheTest : public ::testing::TestWithParam<unsigned> {
protected:
    VerifiedFileCacheTest() : cwd(dir.Path()) {}

    // Checks against a list giving fContent for "f.bin"; returns the chunk requests made.
    std::size_t Run(const std::string& fContent) {
        GameServer server({IntactFile(1, "a.bin", "intact a"), IntactFile(2, "f.bin", fContent)});
        LauncherApi api;
        server.Connect(api);
        VerifiedFileCache cache = VerifiedFileCache::Load(cachePath);
        log.calls.clear();
        EXPECT_TRUE(VerifyAndRepairFiles(api, log.Bind(), &cache, {.hashThreads = GetParam()}));
        EXPECT_TRUE(cache.Save());
        return server.ChunkRequestCount();
    }

    void WriteRecordedFiles(std::filesystem::file_time_type when) {
        WriteFileBytes(dir.Child(L"a.bin"), "intact a");
        WriteFileBytes(dir.Child(L"f.bin"), kOld);
        SetWriteTime(dir.Child(L"a.bin"), when);
        SetWriteTime(dir.Child(L"f.bin"), when);
        ASSERT_EQ(Run(kOld), 0u);
        ASSERT_TRUE(test::FileExists(cachePath));
    }

    TempDir dir;
    WorkingDirectory cwd;
    std::wstring cachePath = dir.Child(L"_verify_cache");
    ReportLog log;
};

TEST_P(VerifiedFileCacheTest, ChangesThatMakeTheFileHashedAgain) {
    const std::wstring f = dir.Child(L"f.bin");
    const auto past = DaysFromNow(-30);
    struct Row {
        const char* name;
        std::function<void()> change;
        std::string listed;  // what the list gives for f.bin on the second run
        bool repaired;
        std::string after;
    };
    const std::vector<Row> rows = {
        {"nothing changed", [] {}, kOld, false, kOld},
        // The trade-off the key accepts: this change goes unnoticed.
        {"bytes changed, size and time put back",
         [&] {
             WriteFileBytes(f, kNew);
             SetWriteTime(f, past);
         },
         kOld, false, kNew},
        {"bytes changed with a new time",
         [&] {
             WriteFileBytes(f, kNew);
             SetWriteTime(f, past + std::chrono::seconds(1));
         },
         kOld, true, kOld},
        {"replaced by another file of the same size and time",
         [&] {
             WriteFileBytes(dir.Child(L"other.bin"), kNew);
             SetWriteTime(dir.Child(L"other.bin"), past);
             ASSERT_TRUE(RenameFileReplacing(dir.Child(L"other.bin"), f));
         },
         kOld, true, kOld},
        {"list gives another MD5", [] {}, kNew, true, kNew},
        {"cache file deleted",
         [&] {
             WriteFileBytes(f, kNew);
             SetWriteTime(f, past);
             ASSERT_TRUE(DeleteFileAt(cachePath));
         },
         kOld, true, kOld},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteRecordedFiles(past);
        row.change();
        EXPECT_EQ(Run(row.listed), row.repaired ? 1u : 0u);
        EXPECT_EQ(ReadFileBytes(f), row.after);
        EXPECT_EQ(log.calls.back(), (std::pair<std::string, std::int32_t>("Checking f.bin", 100)));
        // Trusted or hashed, the reports are the same.
        if (!row.repaired) {
            EXPECT_EQ(log.calls, (Reports{{"Checking a.bin", 50}, {"Checking f.bin", 100}}));
        }
        // A repaired file is not read after its download, so it is not recorded yet.
        EXPECT_EQ(VerifiedFileCache::Load(cachePath).Size(), row.repaired ? 1u : 2u);
    }
}

TEST_P(VerifiedFileCacheTest, DamagedCacheFileIsIgnoredAndRewritten) {
    const std::wstring f = dir.Child(L"f.bin");
    const auto past = DaysFromNow(-30);
    struct Row {
        const char* name;
        std::function<std::string(std::string)> damage;
    };
    const std::vector<Row> rows = {
        {"empty", [](std::string) { return std::string(); }},
        {"one byte flipped",
         [](std::string bytes) { return bytes.replace(20, 1, 1, static_cast<char>(bytes[20] ^ 1)); }},
        {"last byte cut", [](std::string bytes) { return bytes.substr(0, bytes.size() - 1); }},
        {"cut in half", [](std::string bytes) { return bytes.substr(0, bytes.size() / 2); }},
        {"byte added", [](std::string bytes) { return bytes + '\0'; }},
        {"text", [](std::string) { return std::string("f.bin 16 0 0 0 ") + test::Md5OfBytes(kNew); }},
        {"next version, checksum valid",
         [](std::string bytes) { return WithChecksum(bytes.substr(0, bytes.size() - 16), 4, 2); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteRecordedFiles(past);
        WriteFileBytes(f, kNew);
        SetWriteTime(f, past);
        WriteFileBytes(cachePath, row.damage(ReadFileBytes(cachePath)));
        EXPECT_EQ(Run(kOld), 1u);
        EXPECT_EQ(ReadFileBytes(f), kOld);
        EXPECT_EQ(VerifiedFileCache::Load(cachePath).Size(), 1u);
        EXPECT_FALSE(test::FileExists(cachePath + L".tmp"));
    }
}

// Within the clock's resolution a file can change again without its time showing it, so what
// was written no earlier than the cache file itself is hashed again.
TEST_P(VerifiedFileCacheTest, FileNewerThanTheCacheIsNotTrusted) {
    const std::wstring f = dir.Child(L"f.bin");
    const auto future = DaysFromNow(1);
    WriteRecordedFiles(future);
    EXPECT_EQ(VerifiedFileCache::Load(cachePath).Size(), 0u);
    WriteFileBytes(f, kNew);
    SetWriteTime(f, future);
    EXPECT_EQ(Run(kOld), 1u);
    EXPECT_EQ(ReadFileBytes(f), kOld);
}

TEST_P(VerifiedFileCacheTest, OnlyListedPathsStayRecorded) {
    WriteRecordedFiles(DaysFromNow(-30));
    GameServer server({IntactFile(1, "a.bin", "intact a")});
    LauncherApi api;
    server.Connect(api);
    VerifiedFileCache cache = VerifiedFileCache::Load(cachePath);
    EXPECT_TRUE(VerifyAndRepairFiles(api, log.Bind(), &cache, {.hashThreads = GetParam()}));
    EXPECT_EQ(cache.Size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(HashThreads, VerifiedFileCacheTest, ::testing::Values(0u, 2u));

TEST(VerifiedFileCache, UnwritableFolderLeavesNoTemporaryFile) {
    TempDir dir;
    VerifiedFileCache cache = VerifiedFileCache::Load(dir.Child(L"missing/_verify_cache"));
    EXPECT_EQ(cache.Size(), 0u);
    EXPECT_FALSE(cache.Save());
    EXPECT_FALSE(test::FileExists(dir.Child(L"missing")));
}

}  // namespace
}  // namespace ombrelta
