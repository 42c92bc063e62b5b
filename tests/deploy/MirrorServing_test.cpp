// The shipped nginx configuration serving a tree laid out by "ombrelta-patch mirror", with Varnish
// in front as the caching tier a CDN would be. Loopback only.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/HttpGet.h"
#include "tests/e2e/LoopbackPort.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string Md5Hex(const std::string& bytes) {
    return BytesToHex(
        *Md5Hasher::Of(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
}

// The value of a header field of a response, or "" when it has none.
std::string Header(const std::string& response, const std::string& name) {
    const std::string head = response.substr(0, response.find("\r\n\r\n"));
    const std::size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return "";
    const std::size_t from = at + name.size() + 4;
    return head.substr(from, head.find("\r\n", from) - from);
}

std::string Executable(const std::string& name) {
    const RunResult which = RunToEnd(
        {"/bin/sh", "-c", "command -v " + name + " || command -v /usr/sbin/" + name}, ".", kChildTimeout);
    return which.exitCode == 0 ? which.out.substr(0, which.out.find('\n')) : "";
}

class MirrorServingTest : public ::testing::Test {
protected:
    void SetUp() override {
        nginxExe = Executable("nginx");
        varnishExe = Executable("varnishd");
        if (nginxExe.empty() || varnishExe.empty())
            GTEST_SKIP() << "nginx or varnishd not found: the mirror serving is not tested";
        WriteTree(Dir("root/files"), {{"game.bin", gameBytes}, {"data/small.txt", "small\n"}});
        MakeZip(Dir("root/patches/p1.zip"), {{"version.dat", "1\n"}, {"data/small.txt", "small\n"}});
        const RunResult mirror = RunToEnd(
            {OMBRELTA_PATCH_EXE, "mirror", "--root", PathArg(Dir("root")), "--out", PathArg(Dir("tree"))},
            ".", kChildTimeout);
        ASSERT_EQ(mirror.exitCode, 0) << mirror.out;
        StartNginx();
    }

    void TearDown() override {
        for (ChildProcess* child : {varnish.get(), nginx.get()}) {
            if (child != nullptr) {
                child->Signal(SIGTERM);
                child->Wait(kChildTimeout);
            }
        }
    }

    fs::path Dir(const std::string& name) const { return fs::path(temp.Path()) / name; }

    static void WaitForPort(std::uint16_t port, const fs::path& log) {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (!Accepts(port) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(Accepts(port)) << ReadFile(log);
    }

    // The shipped file, with this test's address, tree and log, in a minimal main configuration.
    void StartNginx() {
        std::string site = ReadFile(fs::path(OMBRELTA_SOURCE_DIR) / "deploy/nginx/mirror.conf");
        nginxPort = FreePort();
        site = Replaced(site, "listen 80;", "listen 127.0.0.1:" + std::to_string(nginxPort) + ";");
        site = Replaced(site, "root /srv/ombrelta-mirror;", "root " + PathArg(Dir("tree")) + ";");
        site = Replaced(site, "/var/log/nginx/ombrelta-mirror.access.log", PathArg(Dir("access.log")));
        WriteFile(Dir("mirror.conf"), site);
        const std::string scratch = PathArg(Dir("nginx-temp"));
        WriteFile(Dir("nginx.conf"),
                  "daemon off;\nmaster_process off;\npid " + PathArg(Dir("nginx.pid")) +
                      ";\nevents { worker_connections 64; }\nhttp {\n    client_body_temp_path " + scratch +
                      ";\n    proxy_temp_path " + scratch + ";\n    include " + PathArg(Dir("mirror.conf")) +
                      ";\n}\n");
        nginx = std::make_unique<ChildProcess>(
            std::vector<std::string>{nginxExe, "-p", PathArg(Dir("")), "-c", PathArg(Dir("nginx.conf")), "-e",
                                     PathArg(Dir("nginx-error.log"))},
            PathArg(Dir("")), PathArg(Dir("nginx.out")));
        WaitForPort(nginxPort, Dir("nginx-error.log"));
    }

    void StartVarnish() {
        WriteFile(Dir("mirror.vcl"), "vcl 4.1;\nbackend mirror { .host = \"127.0.0.1\"; .port = \"" +
                                         std::to_string(nginxPort) + "\"; }\n");
        varnishPort = FreePort();
        varnish = std::make_unique<ChildProcess>(
            std::vector<std::string>{varnishExe, "-F", "-a", "127.0.0.1:" + std::to_string(varnishPort), "-f",
                                     PathArg(Dir("mirror.vcl")), "-n", PathArg(Dir("varnish")), "-s",
                                     "malloc,32m", "-T", "none"},
            PathArg(Dir("")), PathArg(Dir("varnish.log")));
        WaitForPort(varnishPort, Dir("varnish.log"));
    }

    // Requests nginx's access log shows for target.
    int Fetches(const std::string& target) const {
        const std::string log = ReadFile(Dir("access.log"));
        int count = 0;
        for (std::size_t at = 0; (at = log.find("\"GET " + target + " ", at)) != std::string::npos; ++at)
            ++count;
        return count;
    }

    TempDir temp;
    const std::string gameBytes = PseudoRandomBytes(300000, 38);
    std::string nginxExe;
    std::string varnishExe;
    std::uint16_t nginxPort = 0;
    std::uint16_t varnishPort = 0;
    std::unique_ptr<ChildProcess> nginx;
    std::unique_ptr<ChildProcess> varnish;
};

TEST_F(MirrorServingTest, ServesObjectsExactlyWithTheirCacheLifetimes) {
    const std::string patchBytes = ReadFile(Dir("root/patches/p1.zip"));
    struct Row {
        std::string target;
        std::string bytes;
        std::string cacheControl;
    };
    const std::vector<Row> rows{
        {"/md5/" + Md5Hex(gameBytes), gameBytes, "public, max-age=31536000, immutable"},
        {"/md5/" + Md5Hex("small\n"), "small\n", "public, max-age=31536000, immutable"},
        {"/patches/p1.zip", patchBytes, "public, max-age=300"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        const std::string whole = HttpGet(nginxPort, row.target, "Accept-Encoding: gzip, br\r\n");
        EXPECT_TRUE(whole.starts_with("HTTP/1.1 200 ")) << whole.substr(0, 200);
        EXPECT_EQ(HttpBody(whole), row.bytes);
        EXPECT_EQ(Header(whole, "Content-Encoding"), "");
        EXPECT_EQ(Header(whole, "Cache-Control"), row.cacheControl);
        const std::string part = HttpGet(nginxPort, row.target, "Range: bytes=3-\r\n");
        EXPECT_TRUE(part.starts_with("HTTP/1.1 206 ")) << part.substr(0, 200);
        EXPECT_EQ(HttpBody(part), row.bytes.substr(3));
        EXPECT_EQ(Header(part, "Content-Range"),
                  "bytes 3-" + std::to_string(row.bytes.size() - 1) + "/" + std::to_string(row.bytes.size()));
    }
    for (const char* hidden : {"/", "/.staging/object", "/root/files/game.bin"})
        EXPECT_TRUE(HttpGet(nginxPort, hidden).starts_with("HTTP/1.1 404 ")) << hidden;
}

TEST_F(MirrorServingTest, TheCachingTierFetchesEachObjectOnce) {
    StartVarnish();
    const std::string target = "/md5/" + Md5Hex(gameBytes);
    const std::string first = HttpGet(varnishPort, target, "Range: bytes=100-199\r\n");
    EXPECT_TRUE(first.starts_with("HTTP/1.1 206 ")) << first.substr(0, 200);
    EXPECT_EQ(HttpBody(first), gameBytes.substr(100, 100));
    const std::string second = HttpGet(varnishPort, target);
    EXPECT_EQ(HttpBody(second), gameBytes);
    EXPECT_EQ(Header(second, "Content-Encoding"), "");
    EXPECT_EQ(Fetches(target), 1) << ReadFile(Dir("access.log"));
}

}  // namespace
}  // namespace ombrelta::test
