// One bad client never disturbs the others; many clients are served at once.
#include <csignal>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "protocol/LauncherApi.h"
#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/RawConnection.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

class ServerRobustnessTest : public ::testing::Test {
protected:
    fs::path Dir(const char* name) const { return fs::path(temp.Path()) / name; }
    TempDir temp;
};

TEST_F(ServerRobustnessTest, MalformedRequestClosesOnlyItsConnection) {
    MakeZip(Dir("server") / "patches" / "p1.zip", {{"version.dat", "1"}});
    WriteTree(Dir("server") / "files", {{"a.bin", "abc"}});
    const auto archiveSize = static_cast<std::uint32_t>(fs::file_size(Dir("server") / "patches" / "p1.zip"));
    ServerProcess server(PathArg(Dir("server")), {}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);
    RawConnection good(server.Port());
    const std::string hasNext = Frame(Hex("A8 9C 00 00 00 00"));

    struct Row {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"length 0", Hex("00 00")},
        {"length 2", Hex("02 00")},
        {"unknown type", Frame(Hex("01 00"))},
        {"one payload byte", Frame(Hex("A4"))},
        {"next patch too short", Frame(Hex("A4 9C 00"))},
        {"next patch too long", Frame(Hex("A4 9C 00 00 00"))},
        {"has next without tag", Frame(Hex("A8 9C 00 00 07") + "UNKNOWN")},
        {"string past the end", Frame(Hex("A8 9C 00 00 09 41"))},
        {"hash list trailing byte", Frame(Hex("A7 9C 00 00 00"))},
        {"unknown hash sub-type", Frame(Hex("A6 9C 02 00 00 00 00 00 00 00"))},
        {"unknown file id", Frame(Hex("A6 9C 01 00 05 00 00 00 00 00"))},
        {"file offset past the end", Frame(Hex("A6 9C 01 00 00 00 04 00 00 00"))},
        {"unknown patch version", Frame(Hex("A5 9C 02 00 00 00 00 00"))},
        {"patch offset past the end", Frame(Hex("A5 9C 01 00") + Le32(archiveSize + 1))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RawConnection bad(server.Port());
        ASSERT_TRUE(bad.Send(row.bytes));
        EXPECT_TRUE(bad.ClosedByPeer());
        ASSERT_TRUE(good.Send(hasNext));
        EXPECT_EQ(ToHex(good.ReceivePacket().value_or("")), "05 00 A8 9C 01");
    }
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_NE(server.Log().find("unknown request type 1; closing the connection"), std::string::npos)
        << server.Log();
}

TEST_F(ServerRobustnessTest, SixteenClientsDownloadAtOnce) {
    const std::string big = PseudoRandomBytes(300000, 7);
    WriteTree(Dir("server") / "files", {{"a/big.bin", big}, {"b.txt", "b"}});
    ServerProcess server(PathArg(Dir("server")), {"--chunk-size", "4096"}, PathArg(Dir("server.log")));
    ASSERT_NE(server.Port(), 0);

    constexpr int kClients = 16;
    std::vector<std::string> received(kClients);
    std::vector<std::string> errors(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            try {
                LauncherApi api;
                if (!api.Connect(L"127.0.0.1", server.Port()))
                    throw std::runtime_error("no connection");
                std::vector<HashEntry> list = api.GetHashList("client" + std::to_string(i));
                if (list.size() != 2 || list[0].path != "a/big.bin")
                    throw std::runtime_error("unexpected hash list");
                bool last = false;
                while (!last) {
                    auto chunk = api.GetFileChunk(0, static_cast<std::uint32_t>(received[i].size()), last);
                    received[i].append(chunk.begin(), chunk.end());
                }
            } catch (const std::exception& e) {
                errors[i] = e.what();
            }
        });
    }
    for (std::thread& client : clients)
        client.join();
    for (int i = 0; i < kClients; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(errors[i], "");
        EXPECT_TRUE(received[i] == big);
    }
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerRobustnessTest, InterruptStopsCleanlyWithClientsConnected) {
    WriteTree(Dir("server") / "files", {{"a.bin", "abc"}});
    std::vector<std::string> argv{ServerExe(), "--root", PathArg(Dir("server")), "--listen", "127.0.0.1:0"};
    ChildProcess child(argv, "", PathArg(Dir("server.log")));
    std::optional<std::string> line = child.ReadLine(kChildTimeout);
    ASSERT_TRUE(line.has_value());
    RawConnection idle(static_cast<std::uint16_t>(std::stoul(line->substr(line->rfind(':') + 1))));
    ASSERT_TRUE(idle.Connected());

    child.Signal(SIGINT);

    EXPECT_EQ(child.Wait(kChildTimeout), 0);
    EXPECT_TRUE(idle.ClosedByPeer());
}

}  // namespace
}  // namespace ombrelta::test
