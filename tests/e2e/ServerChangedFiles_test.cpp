// A served file written in place: never a chunk of other bytes than those announced, and a reload.
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "protocol/LauncherApi.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

std::string Md5Text(const std::string& bytes) {
    return BytesToHex(
        *Md5Hasher::Of(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
}

std::string Download(LauncherApi& client, std::uint16_t id) {
    std::string received;
    for (bool last = false; !last;) {
        auto chunk = client.GetFileChunk(id, static_cast<std::uint32_t>(received.size()), last);
        received.append(chunk.begin(), chunk.end());
    }
    return received;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size())
        ++count;
    return count;
}

// An hour back, so that a write in the same tick of the clock as the test's own still shows.
void Age(const fs::path& path) {
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));
}

TEST(ServerChangedFilesTest, AFileWrittenInPlaceClosesItsConnectionsAndReloads) {
    struct Row {
        const char* what;
        std::function<void(const fs::path& file, const std::string& bytes)> change;
    };
    const Row rows[] = {
        {"cp over it", [](const fs::path& file, const std::string& bytes) { WriteFile(file, bytes); }},
        {"written with its time put back",
         [](const fs::path& file, const std::string& bytes) {
             auto time = fs::last_write_time(file);
             WriteFile(file, bytes);
             fs::last_write_time(file, time);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir temp;
        const fs::path root = fs::path(temp.Path()) / "server";
        const fs::path log = fs::path(temp.Path()) / "server.log";
        const fs::path file = root / "files" / "a.bin";
        WriteTree(root / "files", {{"a.bin", PseudoRandomBytes(200000, 5)}, {"b.bin", "bee"}});
        Age(file);
        ServerProcess server(PathArg(root), {"--chunk-size", "4096"}, PathArg(log));
        ASSERT_NE(server.Port(), 0);
        LauncherApi first;
        LauncherApi second;
        bool last = false;
        for (LauncherApi* client : {&first, &second}) {
            ASSERT_TRUE(client->Connect(L"127.0.0.1", server.Port()));
            EXPECT_EQ(client->GetFileChunk(0, 0, last).size(), 4096u);
        }

        const std::string changed = PseudoRandomBytes(200000, 6);
        row.change(file, changed);
        EXPECT_ANY_THROW(first.GetFileChunk(0, 4096, last));
        EXPECT_ANY_THROW(second.GetFileChunk(0, 4096, last));
        ASSERT_TRUE(server.WaitForLog("reloaded; new connections get 0 patches and 2 game files"));
        LauncherApi after;
        ASSERT_TRUE(after.Connect(L"127.0.0.1", server.Port()));
        std::vector<HashEntry> list = after.GetHashList("UNKNOWN");
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].hash, Md5Text(changed));
        EXPECT_TRUE(Download(after, 0) == changed);

        EXPECT_EQ(server.Stop(), 0);
        const std::string logged = ReadFile(log);
        EXPECT_EQ(Count(logged, "ombrelta-server: file a.bin changed on disk since it was loaded"), 1u)
            << logged;
        EXPECT_EQ(Count(logged, "file a.bin changed on disk since it was loaded; closing the connection"), 2u)
            << logged;
    }
}

TEST(ServerChangedFilesTest, CheckCountsFilesChangedWhileItRan) {
    TempDir temp;
    const fs::path root = fs::path(temp.Path()) / "server";
    const fs::path log = fs::path(temp.Path()) / "check.log";
    WriteTree(root / "files", {{"a.bin", "before"}});
    Age(root / "files" / "a.bin");
    WriteFile(root / "files" / "big.bin", "");
    fs::resize_file(root / "files" / "big.bin", 128u << 20);
    ChildProcess check({ServerExe(), "--root", PathArg(root), "--check"}, "", PathArg(log));
    // a.bin is hashed first; big.bin takes long enough to change it meanwhile.
    auto deadline = std::chrono::steady_clock::now() + kChildTimeout;
    while (check.BytesRead() < (1u << 20) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    WriteFile(root / "files" / "a.bin", "after!");

    EXPECT_EQ(check.ReadToEnd(kChildTimeout), "");
    EXPECT_EQ(check.Wait(kChildTimeout), 2);
    const std::string logged = ReadFile(log);
    EXPECT_NE(logged.find("ombrelta-server: file a.bin changed on disk while it was checked\n"),
              std::string::npos)
        << logged;
    EXPECT_NE(logged.find("ombrelta-server: files changed while checked: 1; check again\n"),
              std::string::npos);
}

}  // namespace
}  // namespace ombrelta::test
