// Big game files with a few damaged spots repaired by block (`blockrepair`), from a real server
// and through an nginx mirror, natively and under Wine: only the damaged blocks travel, and any
// map that cannot be trusted, or a server that does not know maps, ends in a whole repair.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "common/BlockMap.h"
#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/HttpGet.h"
#include "tests/e2e/MirrorSupport.h"
#include "tests/e2e/NginxProcess.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMiB = 1024 * 1024;
const std::vector<std::string> kNative = {OMBRELTA_CHECK_EXE};
const std::vector<std::string> kWindows = {OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE};

// Three 4 KiB spots in three different blocks, the last one in the file's last block.
std::string Damaged(std::string bytes) {
    for (std::size_t at : {kMiB + 100, 17 * kMiB + 5000, bytes.size() - 5000})
        bytes.replace(at, 4096, PseudoRandomBytes(4096, static_cast<std::uint32_t>(at)));
    return bytes;
}

// A relay to the server that closes the connection on a GET_BLOCK_MAP request, as a server
// from before block maps does.
class MapRefusingProxy {
public:
    explicit MapRefusingProxy(std::uint16_t serverPort) : serverPort(serverPort) {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{
            .sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
        socklen_t length = sizeof(address);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(listener, 8) == 0 &&
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        acceptor = std::thread([this] { AcceptLoop(); });
    }
    ~MapRefusingProxy() {
        shutdown(listener, SHUT_RDWR);
        close(listener);
        acceptor.join();
        for (std::thread& relay : relays)
            relay.join();
        for (int fd : sockets)
            close(fd);
    }
    std::uint16_t Port() const { return port; }
    int Refused() const { return refused; }

private:
    static bool ReadAll(int fd, std::uint8_t* data, std::size_t size) {
        for (std::size_t got = 0; got < size;) {
            const ssize_t count = recv(fd, data + got, size - got, 0);
            if (count <= 0)
                return false;
            got += static_cast<std::size_t>(count);
        }
        return true;
    }

    void AcceptLoop() {
        for (int client; (client = accept(listener, nullptr, nullptr)) >= 0;) {
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{.sin_family = AF_INET,
                                .sin_port = htons(serverPort),
                                .sin_addr = {htonl(INADDR_LOOPBACK)},
                                .sin_zero = {}};
            if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
                close(client);
                close(server);
                continue;
            }
            sockets.insert(sockets.end(), {client, server});
            relays.emplace_back([=] { Answers(server, client); });
            relays.emplace_back([=, this] { Requests(client, server); });
        }
    }

    static void Answers(int server, int client) {
        std::uint8_t buffer[65536];
        for (ssize_t count; (count = recv(server, buffer, sizeof(buffer), 0)) > 0;) {
            if (send(client, buffer, static_cast<std::size_t>(count), MSG_NOSIGNAL) != count)
                break;
        }
        shutdown(client, SHUT_RDWR);
    }

    void Requests(int client, int server) {
        std::uint8_t packet[65536];
        while (ReadAll(client, packet, 2)) {
            const std::size_t length = packet[0] | (packet[1] << 8);
            if (length < 4 || !ReadAll(client, packet + 2, length - 2))
                break;
            if ((packet[2] | (packet[3] << 8)) == 40105) {
                ++refused;
                break;
            }
            if (send(server, packet, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length))
                break;
        }
        shutdown(server, SHUT_RDWR);
        shutdown(client, SHUT_RDWR);
    }

    const std::uint16_t serverPort;
    int listener = -1;
    std::uint16_t port = 0;
    std::atomic<int> refused{0};
    std::thread acceptor;
    std::vector<std::thread> relays;
    std::vector<int> sockets;  // closed once every relay has ended
};

class BlockRepairTest : public ::testing::TestWithParam<bool> {
protected:
    BlockRepairTest()
        : root(temp.Path()),
          big(PseudoRandomBytes(64 * kMiB, 7)),
          other(PseudoRandomBytes(5 * kMiB, 8)),
          server(Lay(), {"--metrics", "127.0.0.1:0"}, PathArg(root / "server.log")) {}

    void SetUp() override {
        if (GetParam() && !fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
            GTEST_SKIP() << "no Windows build at " << OMBRELTA_WINDOWS_CHECK_EXE;
        ASSERT_NE(server.Port(), 0);
    }

    std::string Lay() {
        WriteTree(root / "server/files", {{"big.pak", big}, {"other.pak", other}, {"small.txt", "small"}});
        return PathArg(root / "server");
    }

    // An installation whose big file has three damaged spots, checked with keys against port.
    CheckRun Check(const std::string& name, std::uint16_t port, const std::string& keys) {
        const fs::path install = root / name;
        // A part a killed repair left, which no later one continues: gone once the run is done.
        WriteTree(install, {{"version.dat", "0\r\n"},
                            {"big.pak", Damaged(big)},
                            {"other.pak", other},
                            {"other.pak.download", "cut"}});
        WriteLauncherConfig(install, port, keys);
        std::vector<std::string> checker = GetParam() ? kWindows : kNative;
        checker.insert(checker.end(), {"--log", "check.log"});
        CheckRun run = RunChecker(checker, install);
        EXPECT_TRUE(run.out.ends_with("100\tReady.\n")) << run.out << run.err;
        EXPECT_TRUE(ReadFile(install / "big.pak") == big);
        EXPECT_EQ(ReadFile(install / "small.txt"), "small");
        EXPECT_FALSE(fs::exists(install / "big.pak.download"));
        EXPECT_FALSE(fs::exists(install / "other.pak.download"));
        return run;
    }

    double FileBytesSent() {
        const std::string page = HttpBody(HttpGet(server.MetricsPort(), "/metrics"));
        return SampleValue(page, "ombrelta_sent_bytes_total{kind=\"file\"}").value_or(-1);
    }

    // The mirror tree of the server's content, as operators lay it out; from a copy, since the
    // tool's hard links would count as changes to the files the server has loaded.
    fs::path LayMirror() {
        const fs::path www = root / "www";
        fs::copy(root / "server", root / "content", fs::copy_options::recursive);
        ChildProcess tool(
            {OMBRELTA_PATCH_EXE, "mirror", "--root", PathArg(root / "content"), "--out", PathArg(www)},
            PathArg(root));
        EXPECT_EQ(tool.Wait(kChildTimeout), 0);
        return www;
    }

    TempDir temp;
    fs::path root;
    std::string big;
    std::string other;
    ServerProcess server;
};

TEST_P(BlockRepairTest, OnlyTheDamagedBlocksComeFromTheServer) {
    const struct {
        const char* name;
        const char* keys;
    } rows[] = {{"one request at a time", "blockrepair=1\n"}, {"pipelined", "blockrepair=1\npipeline=auto\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const double before = FileBytesSent();
        const CheckRun run = Check(row.name, server.Port(), row.keys);
        EXPECT_NE(run.out.find("Repairing big.pak"), std::string::npos) << run.out;
        const double sent = FileBytesSent() - before;
        EXPECT_GT(sent, 3.0 * kMiB);
        EXPECT_LE(sent, 4.0 * kMiB) << sent;
        // The log tells the bytes the repair fetched, not the file's size.
        const std::string log = ReadFile(root / row.name / "check.log");
        EXPECT_NE(log.find("download big.pak from server, 3145728 bytes\n"), std::string::npos) << log;
        EXPECT_NE(log.find("download big.pak ended: 3145728 bytes received in "), std::string::npos) << log;
    }
}

TEST_P(BlockRepairTest, ThroughAMirrorAndPastMapsThatLie) {
    const fs::path www = LayMirror();
    fs::path bigMap;
    for (const auto& object : fs::directory_iterator(www / "blocks")) {
        if (fs::file_size(object.path()) == 44 + 16 * 64)
            bigMap = object.path();
    }
    ASSERT_FALSE(bigMap.empty());
    NginxProcess nginx(root / "nginx", www);
    ASSERT_NE(nginx.Port(), 0);
    const std::string keys = "blockrepair=1\nmirror=http://127.0.0.1:" + std::to_string(nginx.Port()) + "/\n";
    const double before = FileBytesSent();
    Check("mirror", server.Port(), keys);
    EXPECT_EQ(FileBytesSent(), before);
    EXPECT_EQ(LinesWith(nginx.AccessLog(), "/blocks/"), 1) << nginx.AccessLog();
    // Each damaged block is one range of exactly its bytes.
    EXPECT_EQ(LinesWith(nginx.AccessLog(), " 206 "), 3) << nginx.AccessLog();
    EXPECT_EQ(LinesWith(nginx.AccessLog(), " 206 1048576 \"bytes="), 3) << nginx.AccessLog();

    const std::string trueMap = ReadFile(bigMap);
    std::string oneBlockHidden = trueMap;
    // The second damaged block's digest replaced by that of the damaged bytes: it is kept.
    const std::string damaged = Damaged(big);
    const BlockDigest digest =
        BlockDigestOf({reinterpret_cast<const std::uint8_t*>(damaged.data()) + 17 * kMiB, kMiB});
    oneBlockHidden.replace(44 + 16 * 17, 16, reinterpret_cast<const char*>(digest.data()), 16);
    std::string otherMap;
    for (const auto& object : fs::directory_iterator(www / "blocks")) {
        if (object.path() != bigMap)
            otherMap = ReadFile(object.path());
    }
    std::string otherMd5 = trueMap;
    otherMd5.replace(20, 16, otherMap.substr(20, 16));
    // A map that does not fit the list, or a result that fails its check, is repaired whole: a
    // whole object from the mirror (200, beside the map and small.txt), where block fetches are
    // ranges (206).
    const struct {
        const char* name;
        std::string map;
        int wholeFetches;
    } lies[] = {{"another file's map, so the server's", otherMap, 0},
                {"another file's MD5", otherMd5, 1},
                {"a damaged block shown intact", oneBlockHidden, 1}};
    for (const auto& lie : lies) {
        SCOPED_TRACE(lie.name);
        WriteFile(bigMap, lie.map);
        const int before = LinesWith(nginx.AccessLog(), " 200 ");
        Check(std::string("lie-") + std::to_string(&lie - lies), server.Port(), keys);
        EXPECT_EQ(LinesWith(nginx.AccessLog(), " 200 ") - before, 2 + lie.wholeFetches) << nginx.AccessLog();
    }
    WriteFile(bigMap, trueMap);
}

TEST_P(BlockRepairTest, AServerWithoutMapsEndsReadyThroughWholeRepairsWithRetries) {
    MapRefusingProxy older(server.Port());
    ASSERT_NE(older.Port(), 0);
    const double before = FileBytesSent();
    Check("older", older.Port(), "blockrepair=1\nretries=2\n");
    EXPECT_EQ(older.Refused(), 1);
    EXPECT_GE(FileBytesSent() - before, 64.0 * kMiB);
}

INSTANTIATE_TEST_SUITE_P(Checker, BlockRepairTest, ::testing::Values(false, true), [](const auto& info) {
    return info.param ? "WindowsUnderWine" : "Native";
});

}  // namespace
}  // namespace ombrelta::test
