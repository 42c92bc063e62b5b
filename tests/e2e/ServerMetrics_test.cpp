// The server's metrics page read straight from its HTTP port: what each event counts, the HTTP
// answers of the page itself, and the content gauges across reloads.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/HttpGet.h"
#include "tests/e2e/RawConnection.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;
using Samples = std::map<std::string, double>;

const std::string kHasNext = Frame(Hex("A8 9C 00 00 07") + "UNKNOWN" + Hex("07") + "UNKNOWN");

class ServerMetricsTest : public ::testing::Test {
protected:
    void SetUp() override { WriteTree(Dir("server/files"), {{"a.bin", "abc"}, {"b.bin", "defg"}}); }

    fs::path Dir(const std::string& name) const { return fs::path(temp.Path()) / name; }

    std::unique_ptr<ServerProcess> Start(std::vector<std::string> args) {
        args.insert(args.end(), {"--metrics", "127.0.0.1:0"});
        return std::make_unique<ServerProcess>(PathArg(Dir("server")), args, PathArg(Dir("server.log")));
    }

    // Scrapes until every sample has its value (counting follows the wire by a moment), at most 10 s.
    static void ExpectSamples(const ServerProcess& server, const Samples& expected) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string page;
        for (;;) {
            page = HttpBody(HttpGet(server.MetricsPort(), "/metrics"));
            bool all = true;
            for (const auto& [sample, value] : expected)
                all = all && SampleValue(page, sample) == value;
            if (all || std::chrono::steady_clock::now() > deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        for (const auto& [sample, value] : expected)
            EXPECT_EQ(SampleValue(page, sample), value) << sample << "\n" << page;
    }

    TempDir temp;
};

TEST_F(ServerMetricsTest, EachEventCountsWhereTheOperatorLooks) {
    struct Row {
        const char* what;
        std::vector<std::string> args;
        std::function<void(std::uint16_t port)> act;
        Samples expected;
    };
    auto send = [](std::string bytes) {
        return [bytes](std::uint16_t port) {
            RawConnection connection(port);
            ASSERT_TRUE(connection.Send(bytes));
            EXPECT_TRUE(connection.ClosedByPeer());
        };
    };
    const Row rows[] = {
        {"answered request",
         {},
         [](std::uint16_t port) {
             RawConnection connection(port);
             ASSERT_TRUE(connection.Send(kHasNext));
             EXPECT_EQ(ToHex(connection.ReceivePacket().value_or("")), "05 00 A8 9C 00");
         },
         {{"ombrelta_requests_total{kind=\"has_next_patch\"}", 1},
          {"ombrelta_sent_bytes_total{kind=\"other\"}", 5},
          {"ombrelta_request_duration_seconds_count", 1},
          {"ombrelta_connections_accepted_total", 1},
          {"ombrelta_connections_closed_total", 1},
          {"ombrelta_connections_active", 0},
          {"ombrelta_malformed_requests_total", 0}}},
        {"length no request has", {}, send(Hex("02 00")), {{"ombrelta_malformed_requests_total", 1}}},
        {"unknown type",
         {},
         send(Frame(Hex("01 00"))),
         {{"ombrelta_requests_total{kind=\"unknown\"}", 1}, {"ombrelta_malformed_requests_total", 1}}},
        {"known type, wrong length",
         {},
         send(Frame(Hex("A4 9C 00"))),
         {{"ombrelta_requests_total{kind=\"next_patch\"}", 1}, {"ombrelta_malformed_requests_total", 1}}},
        {"request cut off",
         {"--request-timeout", "200ms"},
         send(Hex("0A")),
         {{"ombrelta_request_timeouts_total", 1}}},
        {"silent client", {"--idle-timeout", "200ms"}, send(""), {{"ombrelta_idle_timeouts_total", 1}}},
        {"bad PROXY header",
         {"--proxy-protocol", "127.0.0.1"},
         send(std::string(16, 'x')),
         {{"ombrelta_connections_refused_total{reason=\"proxy_header\"}", 1}}},
        {"over the connection cap",
         {"--max-connections", "1"},
         [](std::uint16_t port) {
             RawConnection held(port);
             ASSERT_TRUE(held.Send(kHasNext));
             ASSERT_TRUE(held.ReceivePacket());
             RawConnection refused(port);
             EXPECT_TRUE(refused.ClosedByPeer());
         },
         {{"ombrelta_connections_refused_total{reason=\"connection_cap\"}", 1},
          {"ombrelta_connections_refused_total{reason=\"per_address_cap\"}", 0},
          {"ombrelta_connections_accepted_total", 2}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<ServerProcess> server = Start(row.args);
        ASSERT_NE(server->MetricsPort(), 0);
        row.act(server->Port());
        ExpectSamples(*server, row.expected);
        EXPECT_EQ(server->Stop(), 0);
    }
}

TEST_F(ServerMetricsTest, AnswersOnlyAGetOfItsPage) {
    std::unique_ptr<ServerProcess> server = Start({});
    ASSERT_NE(server->MetricsPort(), 0);
    struct Row {
        const char* what;
        std::string request;
        std::string answerStart;
    } rows[] = {
        {"GET", "GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"},
        {"HEAD with a query", "HEAD /metrics?x=1 HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
        {"another path", "GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n"},
        {"another method", "POST /metrics HTTP/1.1\r\n\r\n",
         "HTTP/1.1 405 Method Not Allowed\r\nAllow: GET, HEAD\r\n"},
        {"not HTTP", "hello there\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
        {"head over 8 KiB", "GET /metrics HTTP/1.1\r\nX: " + std::string(9000, 'x') + "\r\n\r\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RawConnection connection(server->MetricsPort());
        ASSERT_TRUE(connection.Send(row.request));
        const std::string answer = connection.ReceiveToEnd();
        EXPECT_TRUE(answer.starts_with(row.answerStart)) << answer.substr(0, 300);
        const bool page =
            HttpBody(answer).find("# TYPE ombrelta_requests_total counter") != std::string::npos;
        EXPECT_EQ(page, row.request.starts_with("GET /metrics") && !row.answerStart.empty());
    }
    // The game port knows nothing of HTTP.
    RawConnection game(server->Port());
    ASSERT_TRUE(game.Send("GET /metrics HTTP/1.1\r\n\r\n"));
    EXPECT_TRUE(game.ClosedByPeer());
    EXPECT_EQ(server->Stop(), 0);
}

TEST_F(ServerMetricsTest, ReloadsChangesAndTheContentTheyBringAreCounted) {
    // An hour back, so that the write in place below shows even within one tick of the clock.
    fs::last_write_time(Dir("server/files/a.bin"),
                        fs::last_write_time(Dir("server/files/a.bin")) - std::chrono::hours(1));
    std::unique_ptr<ServerProcess> server = Start({});
    ASSERT_NE(server->MetricsPort(), 0);
    ExpectSamples(*server, {{"ombrelta_patch_newest_version", 0}, {"ombrelta_game_files", 2}});
    EXPECT_TRUE(std::regex_search(HttpBody(HttpGet(server->MetricsPort(), "/metrics")),
                                  std::regex(R"(\nombrelta_build_info\{version="\d+\.\d+\.\d+\.\d+"\} 1\n)")));

    MakeZip(Dir("server/patches/p1.zip"), {{"version.dat", "1"}});
    MakeZip(Dir("server/patches/p3.zip"), {{"version.dat", "3"}});
    WriteFile(Dir("server/files/c.bin"), "c");
    server->Signal(SIGHUP);
    ExpectSamples(*server, {{"ombrelta_content_reloads_total{result=\"success\"}", 1},
                            {"ombrelta_patch_newest_version", 3},
                            {"ombrelta_game_files", 3}});

    MakeZip(Dir("server/patches/p4.zip"), {{"version.dat", "3"}});
    server->Signal(SIGHUP);
    ExpectSamples(*server, {{"ombrelta_content_reloads_total{result=\"failure\"}", 1},
                            {"ombrelta_content_reloads_total{result=\"success\"}", 1},
                            {"ombrelta_patch_newest_version", 3}});

    // A served file written over in place is found out when asked for, and reloads by itself.
    fs::remove(Dir("server/patches/p4.zip"));
    WriteFile(Dir("server/files/a.bin"), "xyz");
    RawConnection client(server->Port());
    ASSERT_TRUE(client.Send(Frame(Hex("A6 9C 01 00 00 00 00 00 00 00"))));
    EXPECT_TRUE(client.ClosedByPeer());
    ExpectSamples(*server, {{"ombrelta_content_changes_total", 1},
                            {"ombrelta_content_reloads_total{result=\"success\"}", 2},
                            {"ombrelta_content_reloads_total{result=\"failure\"}", 1}});
    EXPECT_EQ(server->Stop(), 0);
}

// A balancer's health checks (a LOCAL PROXY header), however they end, leave no log line and
// count only as health checks.
TEST_F(ServerMetricsTest, HealthChecksCountApartAndLeaveNoLogLine) {
    const std::string local = Hex("0D 0A 0D 0A 00 0D 0A 51 55 49 54 0A 20 00 00 00");
    std::unique_ptr<ServerProcess> server = Start({"--proxy-protocol", "127.0.0.1"});
    ASSERT_NE(server->MetricsPort(), 0);
    const struct Row {
        const char* what;
        std::string bytes;
        bool answered;
        bool reset;
    } rows[] = {
        {"header, then closed", local, false, false},
        {"header, then reset", local, false, true},
        {"request answered, then reset", local + kHasNext, true, true},
        {"half a request, then reset", local + Hex("12"), false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RawConnection check(server->Port());
        ASSERT_TRUE(check.Send(row.bytes));
        if (row.answered)
            EXPECT_EQ(ToHex(check.ReceivePacket().value_or("")), "05 00 A8 9C 00");
        if (row.reset)
            check.Reset();
    }
    ExpectSamples(*server, {{"ombrelta_health_checks_total", 4},
                            {"ombrelta_connections_accepted_total", 0},
                            {"ombrelta_connections_closed_total", 0},
                            {"ombrelta_connections_refused_total{reason=\"proxy_header\"}", 0},
                            {"ombrelta_requests_total{kind=\"has_next_patch\"}", 0},
                            {"ombrelta_sent_bytes_total{kind=\"other\"}", 0}});
    // A player's connection after them: its lines are the first about any peer.
    RawConnection player(server->Port());
    ASSERT_TRUE(player.Send(Hex("0D 0A 0D 0A 00 0D 0A 51 55 49 54 0A 21 11 00 0C CB 00 71 09 7F 00 00 01 11 5C BB 80")));
    EXPECT_TRUE(server->WaitForLog("203.0.113.9:4444: connection opened"));
    const std::string log = server->Log();
    EXPECT_EQ(log.find("127.0.0.1:"), std::string::npos) << log;
    EXPECT_EQ(server->Stop(), 0);
}

// One address holding idle and half-sent scrapes keeps no other address out.
TEST_F(ServerMetricsTest, AScrapeFromAnotherAddressGetsThroughWhileOneHoldsConnections) {
    std::unique_ptr<ServerProcess> server = Start({});
    ASSERT_NE(server->MetricsPort(), 0);
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 50; ++i) {
        held.push_back(std::make_unique<RawConnection>(server->MetricsPort(), "127.0.0.2"));
        if (i % 2 == 1)
            ASSERT_TRUE(held.back()->Send("GET /metrics HTTP/1.1\r\n"));
    }
    const std::string answer = HttpGet(server->MetricsPort(), "/metrics");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer.substr(0, 300);
    // Those over the address's cap are closed at once, the others once their head is late.
    for (std::size_t i = 0; i < held.size(); ++i)
        EXPECT_TRUE(held[i]->ClosedByPeer()) << i;
    EXPECT_EQ(server->Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
