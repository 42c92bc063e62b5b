// The shipped HAProxy configuration in front of three servers taking PROXY headers: 30 checkers
// at once, then with one server stopped, then with one frozen; HAProxy's exporter counts them.
// Loopback only.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/HttpGet.h"
#include "tests/e2e/LoopbackPort.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/LoopbackListener.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWaveSize = 30;
constexpr int kServers = 3;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Client port and the server HAProxy gave it, from each line of HAProxy's connection log.
std::vector<std::pair<std::string, std::string>> BalancedClients(const std::string& log) {
    static const std::regex line(R"(127\.0\.0\.1:(\d+) \[[^\]]*\] launchers ombrelta/(s\d))");
    std::vector<std::pair<std::string, std::string>> clients;
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
        clients.emplace_back((*it)[1], (*it)[2]);
    return clients;
}

// Peer ports of the lines of a server's log that say what (by default, a connection opened).
std::set<std::string> LoggedPeers(const std::string& log, const std::string& what = "connection opened") {
    const std::regex line(R"(127\.0\.0\.1:(\d+): )" + what);
    std::set<std::string> peers;
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
        peers.insert((*it)[1]);
    return peers;
}

class HaproxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        const RunResult which = RunToEnd({"/bin/sh", "-c", "command -v haproxy || command -v /usr/sbin/haproxy"},
                                         ".", kChildTimeout);
        if (which.exitCode != 0)
            GTEST_SKIP() << "haproxy not found: the balanced setup is not tested";
        haproxyExe = which.out.substr(0, which.out.find('\n'));
        WriteTree(Dir("content/files"), files);
        MakeZip(Dir("content/patches/p1.zip"), {{"version.dat", "1\n"}, {"data/patch.bin", patchBytes}});
        for (int i = 0; i < kServers; ++i) {
            servers.push_back(std::make_unique<ServerProcess>(
                PathArg(Dir("content")), std::vector<std::string>{"--proxy-protocol", "127.0.0.1"},
                PathArg(Dir("server" + std::to_string(i + 1) + ".log"))));
            ASSERT_NE(servers.back()->Port(), 0);
        }
        StartHaproxy();
    }

    fs::path Dir(const std::string& name) const { return fs::path(temp.Path()) / name; }

    // The shipped file with this test's ports, logging to stderr, which the test reads.
    void StartHaproxy() {
        std::string config = ReadFile(fs::path(OMBRELTA_SOURCE_DIR) / "deploy/haproxy/haproxy.cfg");
        port = FreePort();
        config = Replaced(config, "bind :47000", "bind 127.0.0.1:" + std::to_string(port));
        config = Replaced(config, "log stdout", "log stderr");
        statsPort = FreePort();
        config = Replaced(config, "bind 127.0.0.1:8404", "bind 127.0.0.1:" + std::to_string(statsPort));
        for (int i = 0; i < kServers; ++i) {
            const std::string name = "server s" + std::to_string(i + 1) + " 127.0.0.1:";
            config = Replaced(config, name + "4700" + std::to_string(i + 1),
                              name + std::to_string(servers[i]->Port()));
        }
        WriteFile(Dir("haproxy.cfg"), config);
        haproxy = std::make_unique<ChildProcess>(std::vector<std::string>{haproxyExe, "-db", "-f", "haproxy.cfg"},
                                                 PathArg(Dir("")), PathArg(Dir("haproxy.log")));
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!Accepts(port) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(Accepts(port)) << ReadFile(Dir("haproxy.log"));
    }

    // kWaveSize checkers at once in fresh installations; each must end "Ready." with exact files.
    void RunWave(const std::string& name) {
        std::vector<std::unique_ptr<ChildProcess>> checkers;
        for (int i = 0; i < kWaveSize; ++i) {
            const fs::path install = Dir(name + "/" + std::to_string(i));
            fs::create_directories(install);
            WriteLauncherConfig(install, port);
            checkers.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{OMBRELTA_CHECK_EXE},
                                                              PathArg(install)));
        }
        for (int i = 0; i < kWaveSize; ++i) {
            SCOPED_TRACE(name + " checker " + std::to_string(i));
            const fs::path install = Dir(name + "/" + std::to_string(i));
            const std::string out = checkers[i]->ReadToEnd(kChildTimeout);
            EXPECT_EQ(checkers[i]->Wait(kChildTimeout), 0) << out;
            EXPECT_TRUE(out.ends_with("\tReady.\n")) << out;
            EXPECT_TRUE(ReadFile(install / "data/patch.bin") == patchBytes);
            for (const auto& [file, bytes] : files)
                EXPECT_TRUE(ReadFile(install / file) == bytes) << file;
        }
    }

    // Seconds until HAProxy logs the server as down.
    double WaitUntilDown(const std::string& server, Clock::time_point since) {
        const std::string down = "Server ombrelta/" + server + " is DOWN";
        while (ReadFile(Dir("haproxy.log")).find(down) == std::string::npos) {
            if (Clock::now() - since > std::chrono::seconds(30)) {
                ADD_FAILURE() << "never taken out:\n" << ReadFile(Dir("haproxy.log"));
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::chrono::duration<double>(Clock::now() - since).count();
    }

    TempDir temp;
    const std::string patchBytes = PseudoRandomBytes(300000, 21);
    const std::vector<FileSpec> files{{"data/world.pak", PseudoRandomBytes(1500000, 22)},
                                      {"Tarvesk.exe", PseudoRandomBytes(200000, 23)}};
    std::vector<std::unique_ptr<ServerProcess>> servers;
    std::string haproxyExe;
    std::unique_ptr<ChildProcess> haproxy;
    std::uint16_t port = 0;
    std::uint16_t statsPort = 0;
};

TEST_F(HaproxyTest, SpreadsThePlayersKeepsTheirAddressesAndRoutesAroundFailedServers) {
    const auto started = Clock::now();
    RunWave("first");
    const double firstSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::map<std::string, int> firstWave;
    for (const auto& [clientPort, server] : BalancedClients(ReadFile(Dir("haproxy.log"))))
        ++firstWave[server];
    EXPECT_TRUE(firstWave["s1"] > 0 && firstWave["s2"] > 0 && firstWave["s3"] > 0);
    std::printf("first wave: s1 %d, s2 %d, s3 %d\n", firstWave["s1"], firstWave["s2"], firstWave["s3"]);

    // s1 stops: HAProxy redispatches its connections and its check takes it out.
    EXPECT_EQ(servers[0]->Stop(), 0);
    RunWave("second");

    // s3 freezes: it still accepts connections but never answers; only the protocol check sees it.
    const auto frozen = Clock::now();
    servers[2]->Signal(SIGSTOP);
    const double outAfter = WaitUntilDown("s3", frozen);
    RunWave("third");
    servers[2]->Signal(SIGCONT);

    const std::string haproxyLog = ReadFile(Dir("haproxy.log"));
    const std::vector<std::pair<std::string, std::string>> clients = BalancedClients(haproxyLog);
    std::map<std::string, int> perServer;
    std::set<std::string> clientPorts;
    for (const auto& [clientPort, server] : clients) {
        ++perServer[server];
        clientPorts.insert(clientPort);
    }
    std::printf("HAProxy: %zu connections (s1 %d, s2 %d, s3 %d); first wave of %d in %.1f s; frozen "
                "server out after %.1f s\n",
                clients.size(), perServer["s1"], perServer["s2"], perServer["s3"], kWaveSize, firstSeconds,
                outAfter);
    EXPECT_GE(clients.size(), 3u * kWaveSize) << haproxyLog;
    for (int i = 0; i < kServers; ++i) {
        SCOPED_TRACE("s" + std::to_string(i + 1));
        const std::string log = ReadFile(Dir("server" + std::to_string(i + 1) + ".log"));
        const std::set<std::string> peers = LoggedPeers(log);
        EXPECT_GT(perServer["s" + std::to_string(i + 1)], 0) << haproxyLog;
        // Every peer a server logged is a player HAProxy took in, never HAProxy's own end.
        EXPECT_FALSE(peers.empty()) << log;
        for (const std::string& peer : peers)
            EXPECT_TRUE(clientPorts.contains(peer)) << peer << " is no client port\n" << log;
        // Health checks end cleanly and leave no line at all: a reset, if any, is a player's.
        for (const std::string& peer : LoggedPeers(log, "Connection reset by peer"))
            EXPECT_TRUE(clientPorts.contains(peer)) << peer << " is no client port\n" << log;
        std::printf("s%d logged %zu players by their own address and port\n", i + 1, peers.size());
    }
    // Prometheus' view of the same: every connection the frontend took in.
    const std::string exported = HttpGet(statsPort, "/metrics");
    EXPECT_TRUE(exported.starts_with("HTTP/1.1 200")) << exported.substr(0, 300);
    EXPECT_GE(SampleValue(HttpBody(exported), "haproxy_frontend_connections_total{proxy=\"launchers\"}")
                  .value_or(0),
              3.0 * kWaveSize)
        << HttpBody(exported).substr(0, 2000);
    haproxy->Signal(SIGUSR1);
    EXPECT_EQ(haproxy->Wait(kChildTimeout), 0);
    EXPECT_EQ(servers[1]->Stop(), 0);
    EXPECT_EQ(servers[2]->Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
