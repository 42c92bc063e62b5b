// PROXY protocol headers from the balancer addresses named by --proxy-protocol.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/RawConnection.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

const std::string kHasNextPatch = Frame(Hex("A8 9C 00 00 05") + "CHECK" + Hex("05") + "CHECK");
const std::string kNoPatch = Hex("05 00 A8 9C 00");

// A PROXY version 2 header for a TCP client at 203.0.113.9:4444 (0x115C).
const std::string kProxyForClient =
    Hex("0D 0A 0D 0A 00 0D 0A 51 55 49 54 0A 21 11 00 0C  CB 00 71 09 7F 00 00 01 11 5C BB 80");
// The balancer's own health check: the LOCAL command, no addresses.
const std::string kProxyLocal = Hex("0D 0A 0D 0A 00 0D 0A 51 55 49 54 0A 20 00 00 00");

class ServerProxyTest : public ::testing::Test {
protected:
    ServerProcess Start(const std::string& from) {
        fs::create_directories(fs::path(temp.Path()) / "files");
        return ServerProcess(PathArg(temp.Path()), {"--proxy-protocol", from},
                             PathArg(fs::path(temp.Path()) / "server.log"));
    }

    TempDir temp;
};

TEST_F(ServerProxyTest, BalancerConnectionsNeedTheHeaderAndAreLoggedAsTheClient) {
    ServerProcess server = Start("127.0.0.1");
    {
        RawConnection client(server.Port());
        ASSERT_TRUE(client.Send(kProxyForClient + kHasNextPatch));
        EXPECT_EQ(client.ReceivePacket(), kNoPatch);
    }
    {
        RawConnection check(server.Port());
        ASSERT_TRUE(check.Send(kProxyLocal + kHasNextPatch));
        EXPECT_EQ(check.ReceivePacket(), kNoPatch);
    }
    {
        RawConnection bare(server.Port());
        ASSERT_TRUE(bare.Send(kHasNextPatch));
        EXPECT_TRUE(bare.ClosedByPeer());
    }
    EXPECT_TRUE(server.WaitForLog("203.0.113.9:4444: connection opened"));
    EXPECT_TRUE(server.WaitForLog("no PROXY header from a balancer address; closed"));
    const std::string log = server.Log();
    EXPECT_EQ(log.find("connection opened"), log.rfind("connection opened")) << log;
    EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerProxyTest, OtherAddressesConnectWithoutAHeader) {
    ServerProcess server = Start("10.0.0.0/8,::1");
    RawConnection client(server.Port());
    ASSERT_TRUE(client.Send(kHasNextPatch));
    EXPECT_EQ(client.ReceivePacket(), kNoPatch);
    EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace ombrelta::test
