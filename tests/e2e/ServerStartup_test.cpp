// What the server refuses at start: bad command lines and content the protocol cannot carry.
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "protocol/LauncherApi.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

struct Refusal {
    const char* what;
    std::function<void(const fs::path& root)> build;
    std::vector<std::string> args;  // after --root ROOT, unless noRoot
    std::string message;
    bool noRoot = false;
};

void ManyLongPaths(const fs::path& root) {
    for (int i = 0; i < 250; ++i)
        WriteFile(root / "files" / std::string(120, 'd') / (std::string(126, 'f') + std::to_string(100 + i)),
                  "");
}

void SparseFile(const fs::path& path, std::uintmax_t size) {
    WriteFile(path, "");
    fs::resize_file(path, size);
}

std::vector<Refusal> Refusals() {
    auto nothing = [](const fs::path& root) { fs::create_directories(root); };
    return {
        {"no root", nothing, {}, "--root is required", true},
        {"unknown option", nothing, {"--port", "5"}, "unknown option: --port"},
        {"zero chunk size", nothing, {"--chunk-size", "0"}, "--chunk-size: must be at least 1"},
        {"chunk size not a number",
         nothing,
         {"--chunk-size", "12x"},
         "--chunk-size: not a number in range: 12x"},
        {"zero timeout", nothing, {"--idle-timeout", "0ms"}, "--idle-timeout: must be at least 1"},
        {"timeout not a number",
         nothing,
         {"--request-timeout", "5m"},
         "--request-timeout: not a number in range: 5m"},
        {"zero cap", nothing, {"--max-per-address", "0"}, "--max-per-address: must be at least 1"},
        {"proxy source not an address",
         nothing,
         {"--proxy-protocol", "127.0.0.1,balancer"},
         "--proxy-protocol: not an address or address/prefix: balancer"},
        {"host name",
         nothing,
         {"--listen", "localhost:47000"},
         "--listen: not a dotted IPv4 address: localhost"},
        {"IPv6 without brackets",
         nothing,
         {"--listen", "::1:47000"},
         "--listen: not a dotted IPv4 address: ::1"},
        {"not IPv6 in brackets", nothing, {"--listen", "[::g]:47000"}, "--listen: not an IPv6 address: ::g"},
        {"port out of range",
         nothing,
         {"--listen", "127.0.0.1:70000"},
         "--listen port: not a number in range: 70000"},
        {"missing value", nothing, {"--listen"}, "--listen: missing value"},
        {"metrics on a host name",
         nothing,
         {"--metrics", "localhost:9400"},
         "--metrics: not a dotted IPv4 address: localhost"},
        {"metrics port out of range",
         nothing,
         {"--metrics", "70000"},
         "--metrics port: not a number in range: 70000"},
        {"root missing", [](const fs::path&) {}, {}, "content root is not a directory"},
        {"archive without version.dat",
         [](const fs::path& root) {
             MakeZip(root / "patches" / "a.zip", {{"data/version.dat", "1"}});
         },
         {},
         "has no version.dat at its root"},
        {"version.dat without a number",
         [](const fs::path& root) {
             MakeZip(root / "patches" / "a.zip", {{"version.dat", "abc"}});
         },
         {},
         "version.dat holds no version above 0"},
        {"not a zip archive",
         [](const fs::path& root) { WriteFile(root / "patches" / "a.zip", "nope"); },
         {},
         "is not a readable zip archive"},
        {"duplicate versions",
         [](const fs::path& root) {
             MakeZip(root / "patches" / "a.zip", {{"version.dat", "4"}});
             MakeZip(root / "patches" / "b.zip", {{"version.dat", "4\r\n"}});
         },
         {},
         "both bring version 4"},
        {"archive over 4 GiB",
         [](const fs::path& root) { SparseFile(root / "patches" / "huge.zip", 1ull << 32); },
         {},
         "is larger than 4294967295 bytes"},
        {"256 game files",
         [](const fs::path& root) {
             for (int i = 0; i < 256; ++i)
                 WriteFile(root / "files" / ("f" + std::to_string(i)), "");
         },
         {},
         "more than 255 game files"},
        {"path over 255 bytes",
         [](const fs::path& root) {
             WriteFile(root / "files" / std::string(200, 'd') / std::string(60, 'f'), "");
         },
         {},
         "game file path longer than 255 bytes"},
        {"list over one packet",
         ManyLongPaths,
         {},
         "hash list of 73255 bytes; one answer carries at most 65533"},
        {"game file over 4 GiB",
         [](const fs::path& root) { SparseFile(root / "files" / "huge.bin", 1ull << 32); },
         {},
         "game file huge.bin is larger than 4294967295 bytes"},
    };
}

TEST(ServerStartupTest, RefusesWhatItCannotServe) {
    for (const Refusal& row : Refusals()) {
        SCOPED_TRACE(row.what);
        TempDir temp;
        fs::path root = fs::path(temp.Path()) / "server";
        row.build(root);
        std::vector<std::string> argv{ServerExe()};
        if (!row.noRoot)
            argv.insert(argv.end(), {"--root", PathArg(root)});
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        fs::path log = fs::path(temp.Path()) / "server.log";

        ChildProcess server(argv, "", PathArg(log));
        std::string out = server.ReadToEnd(kChildTimeout);

        EXPECT_EQ(server.Wait(kChildTimeout), 2);
        EXPECT_EQ(out, "");
        EXPECT_NE(ReadFile(log).find(row.message), std::string::npos) << ReadFile(log);
    }
}

TEST(ServerStartupTest, BadOptionsPrintUsage) {
    TempDir temp;
    fs::path log = fs::path(temp.Path()) / "server.log";
    ChildProcess server({ServerExe(), "--bogus"}, "", PathArg(log));
    server.ReadToEnd(kChildTimeout);
    EXPECT_EQ(server.Wait(kChildTimeout), 2);
    EXPECT_NE(ReadFile(log).find("usage: ombrelta-server --root DIR [--listen HOST:PORT] [--chunk-size N]"),
              std::string::npos);
}

TEST(ServerStartupTest, AddressInUseIsReported) {
    TempDir temp;
    fs::path root = fs::path(temp.Path()) / "server";
    fs::create_directories(root);
    ServerProcess first(PathArg(root), {}, PathArg(fs::path(temp.Path()) / "first.log"));
    ASSERT_NE(first.Port(), 0);
    fs::path log = fs::path(temp.Path()) / "second.log";
    ChildProcess second(
        {ServerExe(), "--root", PathArg(root), "--listen", "127.0.0.1:" + std::to_string(first.Port())}, "",
        PathArg(log));
    second.ReadToEnd(kChildTimeout);
    EXPECT_EQ(second.Wait(kChildTimeout), 1);
    EXPECT_NE(ReadFile(log).find("cannot listen on 127.0.0.1:" + std::to_string(first.Port())),
              std::string::npos);
    EXPECT_EQ(first.Stop(), 0);
}

// systemd's reload during a slow start: the server neither dies of the signal nor forgets it.
TEST(ServerStartupTest, HangupWhileLoadingLoadsOnceMoreAfterwards) {
    TempDir temp;
    fs::path root = fs::path(temp.Path()) / "server";
    SparseFile(root / "files" / "big.bin", 128u << 20);
    fs::path log = fs::path(temp.Path()) / "server.log";
    ChildProcess server({ServerExe(), "--root", PathArg(root), "--listen", "127.0.0.1:0"}, "", PathArg(log));
    // Hashing has begun once the server has read more than a program needs to start.
    auto deadline = std::chrono::steady_clock::now() + kChildTimeout;
    while (server.BytesRead() < (1u << 20) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server.Signal(SIGHUP);
    server.Signal(SIGHUP);
    WriteFile(root / "files" / "late.bin", "late");
    ASSERT_FALSE(server.ReadLine(std::chrono::milliseconds(0)))
        << "loaded before the signal; a larger file is needed";

    std::optional<std::string> line = server.ReadLine(kChildTimeout);
    ASSERT_TRUE(line && line->rfind("listening on 127.0.0.1:", 0) == 0) << ReadFile(log);
    auto port = static_cast<std::uint16_t>(std::stoul(line->substr(line->rfind(':') + 1)));
    const std::string reloaded = "reloaded; new connections get 0 patches and 2 game files";
    while (ReadFile(log).find(reloaded) == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    LauncherApi client;
    ASSERT_TRUE(client.Connect(L"127.0.0.1", port));
    EXPECT_EQ(client.GetHashList("UNKNOWN").size(), 2u);

    server.Signal(SIGTERM);
    EXPECT_EQ(server.Wait(kChildTimeout), 0);
    const std::string logged = ReadFile(log);
    EXPECT_EQ(logged.find("reloading the content"), logged.rfind("reloading the content")) << logged;
}

}  // namespace
}  // namespace ombrelta::test
