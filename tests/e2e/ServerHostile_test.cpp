// Hostile and heavy clients: each fault stays in its own connection.
#include <fcntl.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>
#include <memory>
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
using std::chrono::milliseconds;

const std::string kHasNext = Frame(Hex("A8 9C 00 00 07") + "UNKNOWN" + Hex("07") + "UNKNOWN");
const std::string kHasNextAnswer = "05 00 A8 9C 00";

class ServerHostileTest : public ::testing::Test {
protected:
    fs::path Dir(const char* name) const { return fs::path(temp.Path()) / name; }
    std::string Root() const { return PathArg(Dir("server")); }
    std::string LogPath() const { return PathArg(Dir("server.log")); }

    static std::string AskHasNext(std::uint16_t port) {
        RawConnection honest(port);
        honest.Send(kHasNext);
        return ToHex(honest.ReceivePacket().value_or(""));
    }

    TempDir temp;
};

TEST_F(ServerHostileTest, TwoByteHeaderFloodUnderAnAddressSpaceLimit) {
    WriteTree(Dir("server") / "files", {{"a.bin", "abc"}});
    ChildOptions limited{.addressSpaceLimit = OMBRELTA_SERVER_ADDRESS_SPACE_LIMIT};
    ServerProcess server(Root(), {"--max-connections", "5000", "--max-per-address", "5000"}, LogPath(),
                         {ServerExe()}, limited);
    ASSERT_NE(server.Port(), 0);

    std::vector<std::unique_ptr<RawConnection>> flood;
    for (int i = 0; i < 3100; ++i) {
        flood.push_back(std::make_unique<RawConnection>(server.Port()));
        flood.back()->Send(Hex("FF FF"));
    }

    EXPECT_EQ(AskHasNext(server.Port()), kHasNextAnswer);
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_NE(server.Log().find("packet length 65535 exceeds the largest request"), std::string::npos);
}

TEST_F(ServerHostileTest, SilentAndSlowRequestsTimeOut) {
    WriteTree(Dir("server") / "files", {{"a.bin", "abc"}});
    ServerProcess server(Root(), {"--request-timeout", "300ms", "--idle-timeout", "600ms"}, LogPath());
    ASSERT_NE(server.Port(), 0);
    struct Row {
        const char* what;
        std::string bytes;
        milliseconds gap;  // between single bytes; 0: all at once
        const char* logged;
    } rows[] = {
        {"idle", "", milliseconds(0), "waited 600 ms for a request"},
        {"half packet", Hex("06 00 A4"), milliseconds(0), "waited 300 ms for the rest of a request"},
        {"one-byte trickle", kHasNext, milliseconds(100), "waited 300 ms for the rest of a request"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RawConnection slow(server.Port());
        if (row.gap.count() == 0 && !row.bytes.empty())
            slow.Send(row.bytes);
        for (std::size_t i = 0; row.gap.count() > 0 && i < row.bytes.size(); ++i) {
            if (!slow.Send(row.bytes.substr(i, 1)))
                break;
            std::this_thread::sleep_for(row.gap);
        }
        EXPECT_TRUE(slow.ClosedByPeer());
        EXPECT_TRUE(server.WaitForLog(row.logged));
    }
    EXPECT_EQ(AskHasNext(server.Port()), kHasNextAnswer);
    EXPECT_EQ(server.Stop(), 0);
}

// The cap is derived from a descriptor limit of 64; a client already downloading goes on.
TEST_F(ServerHostileTest, ConnectionsOverTheCapAreClosedAtOnce) {
    const std::string big = PseudoRandomBytes(100000, 3);
    WriteTree(Dir("server") / "files", {{"big.bin", big}});
    ServerProcess server(Root(), {"--chunk-size", "1000"}, LogPath(), {ServerExe()},
                         ChildOptions{.descriptorLimit = 64});
    ASSERT_NE(server.Port(), 0);
    LauncherApi honest;
    ASSERT_TRUE(honest.Connect(L"127.0.0.1", server.Port()));
    std::string received;
    bool last = false;
    auto fetch = [&] {
        auto chunk = honest.GetFileChunk(0, static_cast<std::uint32_t>(received.size()), last);
        received.append(chunk.begin(), chunk.end());
    };
    fetch();

    std::vector<std::unique_ptr<RawConnection>> idle;
    for (int i = 0; i < 80; ++i)
        idle.push_back(std::make_unique<RawConnection>(server.Port()));
    EXPECT_TRUE(idle.back()->ClosedByPeer());
    while (!last)
        fetch();
    EXPECT_TRUE(received == big);

    idle.clear();
    std::string answer;
    for (int attempt = 0; attempt < 50 && answer != kHasNextAnswer; ++attempt) {
        std::this_thread::sleep_for(milliseconds(20));
        answer = AskHasNext(server.Port());
    }
    EXPECT_EQ(answer, kHasNextAnswer);
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_NE(server.Log().find("over the connection caps; closed at once"), std::string::npos);
}

TEST_F(ServerHostileTest, AStderrNobodyReadsNeverBlocksServingOrStopping) {
    WriteTree(Dir("server") / "files", {{"a.bin", "abc"}});
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK), 0);
    const std::string filler(4096, 'x');
    while (write(pipeFds[1], filler.data(), filler.size()) > 0) {
    }
    fcntl(pipeFds[1], F_SETFL, 0);  // full, and blocking for the server

    ServerProcess server(Root(), {}, "", {ServerExe()}, ChildOptions{.stderrFd = pipeFds[1]});
    ASSERT_NE(server.Port(), 0);
    for (int i = 0; i < 3000; ++i)
        RawConnection cycle(server.Port());
    EXPECT_EQ(AskHasNext(server.Port()), kHasNextAnswer);
    // Read at last: the lines held back come through, and the 6000 lines of one address
    // were cut down to a few.
    auto drain = [&] {
        std::string text;
        char buffer[4096];
        for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(got));
        return text;
    };
    std::string logged = drain();
    EXPECT_EQ(server.Stop(), 0);
    logged += drain();
    EXPECT_NE(logged.find("more lines left out"), std::string::npos)
        << logged.substr(logged.find_first_not_of('x'));
    std::size_t opened = 0;
    for (std::size_t at = 0; (at = logged.find("connection opened", at)) != std::string::npos; ++at)
        ++opened;
    EXPECT_LT(opened, 100u);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

TEST_F(ServerHostileTest, FilesReplacedWhileServingChangeNothingSent) {
    const std::string original = PseudoRandomBytes(200000, 5);
    WriteTree(Dir("server") / "files", {{"a.bin", original}, {"b.bin", "bee"}});
    ServerProcess server(Root(), {"--chunk-size", "4096"}, LogPath());
    ASSERT_NE(server.Port(), 0);
    LauncherApi client;
    ASSERT_TRUE(client.Connect(L"127.0.0.1", server.Port()));
    std::string received;
    bool last = false;
    auto chunk = client.GetFileChunk(0, 0, last);
    received.append(chunk.begin(), chunk.end());

    WriteFile(Dir("new.bin"), PseudoRandomBytes(150000, 6));
    fs::rename(Dir("new.bin"), Dir("server") / "files" / "a.bin");
    fs::remove(Dir("server") / "files" / "b.bin");
    while (!last) {
        chunk = client.GetFileChunk(0, static_cast<std::uint32_t>(received.size()), last);
        received.append(chunk.begin(), chunk.end());
    }
    chunk = client.GetFileChunk(1, 0, last);

    EXPECT_TRUE(received == original);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), "bee");
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerHostileTest, HangupReloadsForNewConnectionsOnly) {
    WriteTree(Dir("server") / "files", {{"a.bin", "abc"}});
    ServerProcess server(Root(), {}, LogPath());
    ASSERT_NE(server.Port(), 0);
    LauncherApi before;
    ASSERT_TRUE(before.Connect(L"127.0.0.1", server.Port()));
    auto reload = [&](const char* logged) {
        server.Signal(SIGHUP);
        EXPECT_TRUE(server.WaitForLog(logged));
    };
    auto listed = [&](LauncherApi& api) { return api.GetHashList("UNKNOWN").size(); };
    // Answered once, so the server has taken the connection before the reload.
    EXPECT_EQ(listed(before), 1u);

    WriteTree(Dir("server") / "files", {{"b.bin", "b"}});
    reload("reloaded; new connections get 0 patches and 2 game files");
    LauncherApi after;
    ASSERT_TRUE(after.Connect(L"127.0.0.1", server.Port()));
    EXPECT_EQ(listed(after), 2u);
    EXPECT_EQ(listed(before), 1u);

    WriteTree(Dir("server") / "files", {{"B.bin", "B"}});
    reload("reload refused; still serving the previous content");
    LauncherApi later;
    ASSERT_TRUE(later.Connect(L"127.0.0.1", server.Port()));
    EXPECT_EQ(listed(later), 2u);
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
