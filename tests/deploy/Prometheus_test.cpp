// The shipped Prometheus configuration and alert rules under promtool, and a real Prometheus
// scraping one ombrelta-server while checkers run: what it stores must be what went over the
// wire. Loopback only.
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/HttpGet.h"
#include "tests/e2e/LoopbackPort.h"
#include "tests/e2e/RawConnection.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using ByLabel = std::map<std::string, double>;

constexpr int kRuns = 20;
constexpr int kPerAddress = 64;
constexpr std::uint64_t kPatchChunk = 65523;
constexpr std::uint64_t kFileChunk = 65519;

const fs::path kKit = fs::path(OMBRELTA_SOURCE_DIR) / "deploy/prometheus";

std::string Find(const std::string& program) {
    const RunResult which = RunToEnd({"/bin/sh", "-c", "command -v " + program}, ".", kChildTimeout);
    return which.exitCode == 0 ? which.out.substr(0, which.out.find('\n')) : std::string();
}

std::string UrlEncoded(const std::string& text) {
    static const char* digits = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '_')
            encoded += static_cast<char>(c);
        else
            encoded += std::string{'%', digits[c >> 4], digits[c & 15]};
    }
    return encoded;
}

std::uint64_t Chunks(std::uint64_t size, std::uint64_t chunk) {
    return (size + chunk - 1) / chunk;
}

// The value of each series of an instant query aggregated "by (label)", keyed by that label.
ByLabel Query(std::uint16_t port, const std::string& label, const std::string& query) {
    const std::string body = HttpBody(HttpGet(port, "/api/v1/query?query=" + UrlEncoded(query)));
    const std::regex series("\\{\"" + label + "\":\"([^\"]*)\"\\},\"value\":\\[[^,]+,\"([^\"]+)\"\\]");
    ByLabel values;
    for (std::sregex_iterator it(body.begin(), body.end(), series), end; it != end; ++it)
        values[(*it)[1]] = std::stod((*it)[2]);
    return values;
}

TEST(PrometheusKitTest, PromtoolAcceptsTheConfigAndItsRulesPassTheirTests) {
    const std::string promtool = Find("promtool");
    if (promtool.empty())
        GTEST_SKIP() << "promtool not found: the Prometheus kit is not checked";
    const std::vector<std::vector<std::string>> commands = {
        {promtool, "check", "config", "prometheus.yml"},
        {promtool, "check", "rules", "ombrelta.rules.yml"},
        {promtool, "test", "rules", "ombrelta.rules.test.yml"},
    };
    for (const std::vector<std::string>& command : commands) {
        SCOPED_TRACE(command[1] + " " + command[2] + " " + command[3]);
        const RunResult result = RunToEnd(command, PathArg(kKit), kChildTimeout);
        EXPECT_EQ(result.exitCode, 0) << result.out;
    }
}

class PrometheusTest : public ::testing::Test {
protected:
    void SetUp() override {
        prometheusExe = Find("prometheus");
        if (prometheusExe.empty())
            GTEST_SKIP() << "prometheus not found: scraping is not tested end to end";
        WriteTree(Dir("content/files"), files);
        MakeZip(Dir("content/patches/p1.zip"), {{"version.dat", "1\n"}, {"data/patch.bin", patchBytes}});
        server = std::make_unique<ServerProcess>(
            PathArg(Dir("content")),
            std::vector<std::string>{"--max-per-address", std::to_string(kPerAddress), "--metrics",
                                     "127.0.0.1:0"},
            PathArg(Dir("server.log")));
        ASSERT_NE(server->MetricsPort(), 0);
        StartPrometheus();
    }

    fs::path Dir(const std::string& name) const { return fs::path(temp.Path()) / name; }

    // Scraping the server every second, with the shipped rules loaded, storing in the test's folder.
    void StartPrometheus() {
        WriteFile(Dir("prometheus.yml"),
                  "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                  "rule_files: [\"" +
                      PathArg(kKit / "ombrelta.rules.yml") +
                      "\"]\n"
                      "scrape_configs:\n  - job_name: ombrelta\n    static_configs:\n"
                      "      - targets: [\"127.0.0.1:" +
                      std::to_string(server->MetricsPort()) + "\"]\n");
        port = FreePort();
        prometheus = std::make_unique<ChildProcess>(
            std::vector<std::string>{prometheusExe, "--config.file=prometheus.yml",
                                     "--storage.tsdb.path=data",
                                     "--web.listen-address=127.0.0.1:" + std::to_string(port)},
            PathArg(Dir("")), PathArg(Dir("prometheus.log")));
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!HttpGet(port, "/-/ready").starts_with("HTTP/1.1 200") && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_TRUE(HttpGet(port, "/-/ready").starts_with("HTTP/1.1 200")) << ReadFile(Dir("prometheus.log"));
    }

    std::unique_ptr<ChildProcess> Checker(const std::string& name) {
        const fs::path install = Dir(name);
        fs::create_directories(install);
        WriteLauncherConfig(install, server->Port());
        return std::make_unique<ChildProcess>(std::vector<std::string>{OMBRELTA_CHECK_EXE}, PathArg(install));
    }

    // Queries until the values are those expected (a scrape a second brings them), at most 15 s.
    void ExpectStored(const std::string& label, const std::string& query, const ByLabel& expected) {
        const auto deadline = Clock::now() + std::chrono::seconds(15);
        ByLabel stored = Query(port, label, query);
        while (stored != expected && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stored = Query(port, label, query);
        }
        for (const auto& [key, value] : expected)
            EXPECT_EQ(stored[key], value) << query << " " << label << "=" << key;
    }

    TempDir temp;
    const std::string patchBytes = PseudoRandomBytes(300000, 31);
    const std::vector<FileSpec> files{{"data/world.pak", PseudoRandomBytes(700000, 32)},
                                      {"Tarvesk.exe", PseudoRandomBytes(131038, 33)},
                                      {"readme.txt", "Ombrelta\n"}};
    std::unique_ptr<ServerProcess> server;
    std::string prometheusExe;
    std::unique_ptr<ChildProcess> prometheus;
    std::uint16_t port = 0;
};

TEST_F(PrometheusTest, StoresWhatTheCheckersReceivedAndTheRunTurnedAway) {
    std::vector<std::unique_ptr<ChildProcess>> checkers;
    for (int i = 0; i < kRuns; ++i)
        checkers.push_back(Checker("run" + std::to_string(i)));
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        const std::string out = checkers[i]->ReadToEnd(kChildTimeout);
        EXPECT_EQ(checkers[i]->Wait(kChildTimeout), 0) << out;
        EXPECT_TRUE(ReadFile(Dir("run" + std::to_string(i) + "/data/world.pak")) == files[0].second);
    }

    // One more run while the test holds every place its address has.
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < kPerAddress; ++i)
        held.push_back(std::make_unique<RawConnection>(server->Port()));
    const auto allHeld = Clock::now() + std::chrono::seconds(10);
    while (SampleValue(HttpBody(HttpGet(server->MetricsPort(), "/metrics")), "ombrelta_connections_active") !=
               kPerAddress &&
           Clock::now() < allHeld)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::unique_ptr<ChildProcess> refused = Checker("refused");
    EXPECT_FALSE(refused->ReadToEnd(kChildTimeout).ends_with("\tReady.\n"));
    refused->Wait(kChildTimeout);

    // What each run asked for and received, from the protocol's framing: a 2-byte length on every
    // packet, 10 header bytes on a patch chunk, 14 on a file chunk.
    const std::uint64_t patchSize = fs::file_size(Dir("content/patches/p1.zip"));
    std::uint64_t fileChunks = 0, fileBytes = 0, listBytes = 2 + 5;
    for (const auto& [path, bytes] : files) {
        fileChunks += Chunks(bytes.size(), kFileChunk);
        fileBytes += bytes.size() + 16 * Chunks(bytes.size(), kFileChunk);
        listBytes += 1 + (1 + path.size()) + (1 + 32) + 8;
    }
    const std::uint64_t otherBytes = 2 * (2 + 3) + (2 + 16 + std::string("p1.zip").size()) + listBytes;
    const double runs = kRuns;
    ExpectStored("kind", "sum by (kind) (ombrelta_sent_bytes_total)",
                 {{"patch", runs * (patchSize + 12 * Chunks(patchSize, kPatchChunk))},
                  {"file", runs * fileBytes},
                  {"other", runs * otherBytes}});
    ExpectStored("kind", "sum by (kind) (ombrelta_requests_total)",
                 {{"has_next_patch", runs * 2},
                  {"next_patch", runs},
                  {"patch_chunk", runs * Chunks(patchSize, kPatchChunk)},
                  {"hash_list", runs},
                  {"file_chunk", runs * fileChunks},
                  {"unknown", 0}});
    ExpectStored("reason", "sum by (reason) (ombrelta_connections_refused_total)",
                 {{"per_address_cap", 1}, {"connection_cap", 0}, {"proxy_header", 0}});
    held.clear();
    EXPECT_EQ(server->Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
