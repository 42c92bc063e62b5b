#include "protocol/LauncherApi.h"

#include <gtest/gtest.h>

#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::Reply;
using test::ScriptedServer;

Reply Echo(const Bytes& request) {
    return Reply::Payload(request);
}

Bytes Framed(const Bytes& payload) {
    return Reply::Payload(payload).bytes;
}

TEST(LauncherApiTest, StartsClosedAndRefusesPackets) {
    LauncherApi api;
    EXPECT_FALSE(api.IsConnected());
    EXPECT_FALSE(api.SendPacket(Bytes{1}));
    Bytes payload{9};
    EXPECT_FALSE(api.ReceivePacket(payload));
    EXPECT_TRUE(payload.empty());
}

TEST(LauncherApiTest, SendsAndReceivesOnePacket) {
    ScriptedServer server(Echo);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    EXPECT_TRUE(api.IsConnected());
    ASSERT_TRUE(api.SendPacket(Bytes{0xA4, 0x9C, 0xE8, 0x03}));
    Bytes payload;
    ASSERT_TRUE(api.ReceivePacket(payload));
    EXPECT_EQ(payload, (Bytes{0xA4, 0x9C, 0xE8, 0x03}));
    EXPECT_EQ(server.Requests(), std::vector<Bytes>{(Bytes{0x06, 0x00, 0xA4, 0x9C, 0xE8, 0x03})});
}

TEST(LauncherApiTest, LargestPayloadIsFramedWithFFFF) {
    ScriptedServer server(Echo);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    Bytes payload(65533);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(api.SendPacket(payload));
    Bytes answer;
    ASSERT_TRUE(api.ReceivePacket(answer));
    EXPECT_EQ(answer, payload);
    std::vector<Bytes> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].size(), 65535u);
    EXPECT_EQ(requests[0][0], 0xFF);
    EXPECT_EQ(requests[0][1], 0xFF);
}

TEST(LauncherApiTest, EmptyOrOversizedPayloadIsRefusedWithoutTraffic) {
    ScriptedServer server(Echo);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    EXPECT_FALSE(api.SendPacket(Bytes{}));
    EXPECT_FALSE(api.SendPacket(Bytes(65534, 1)));
    EXPECT_TRUE(api.IsConnected());
    ASSERT_TRUE(api.SendPacket(Bytes{5}));
    Bytes answer;
    ASSERT_TRUE(api.ReceivePacket(answer));
    EXPECT_EQ(answer, Bytes{5});
    EXPECT_EQ(server.Requests(), std::vector<Bytes>{(Bytes{0x03, 0x00, 0x05})});
}

TEST(LauncherApiTest, ShortLengthFieldFailsButKeepsTheConnection) {
    for (std::uint8_t length : {0, 1, 2}) {
        SCOPED_TRACE(static_cast<int>(length));
        ScriptedServer server([&](const Bytes& request) {
            if (request == Bytes{1})
                return Reply::Raw(Bytes{length, 0x00});
            return Reply::Payload(Bytes{0x42});
        });
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        ASSERT_TRUE(api.SendPacket(Bytes{1}));
        Bytes payload;
        EXPECT_FALSE(api.ReceivePacket(payload));
        EXPECT_TRUE(payload.empty());
        EXPECT_TRUE(api.IsConnected());
        ASSERT_TRUE(api.SendPacket(Bytes{2}));
        ASSERT_TRUE(api.ReceivePacket(payload));
        EXPECT_EQ(payload, Bytes{0x42});
    }
}

TEST(LauncherApiTest, LengthThreeGivesOneByte) {
    ScriptedServer server([](const Bytes&) { return Reply::Raw(Bytes{0x03, 0x00, 0x7E}); });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{1}));
    Bytes payload;
    ASSERT_TRUE(api.ReceivePacket(payload));
    EXPECT_EQ(payload, Bytes{0x7E});
}

TEST(LauncherApiTest, PacketsArrivingInPiecesOrTogetherAreSplitByLength) {
    Bytes twoPackets = Framed(Bytes{1, 2, 3});
    Bytes second = Framed(Bytes(300, 0x55));
    twoPackets.insert(twoPackets.end(), second.begin(), second.end());
    ScriptedServer server([&](const Bytes&) { return Reply::Raw(twoPackets); });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{1}));
    Bytes payload;
    ASSERT_TRUE(api.ReceivePacket(payload));
    EXPECT_EQ(payload, (Bytes{1, 2, 3}));
    ASSERT_TRUE(api.ReceivePacket(payload));
    EXPECT_EQ(payload, Bytes(300, 0x55));
}

TEST(LauncherApiTest, PeerClosingMidPacketLeavesItClosed) {
    struct Row {
        const char* name;
        Bytes sentBeforeClose;
    };
    const Row rows[] = {
        {"nothing", {}},
        {"half a length field", {0x05}},
        {"length field only", {0x05, 0x00}},
        {"part of the payload", {0x05, 0x00, 0x01, 0x02}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](const Bytes&) { return Reply::Close(row.sentBeforeClose); });
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        ASSERT_TRUE(api.SendPacket(Bytes{1}));
        Bytes payload;
        EXPECT_FALSE(api.ReceivePacket(payload));
        EXPECT_TRUE(payload.empty());
        EXPECT_FALSE(api.IsConnected());
        EXPECT_FALSE(api.SendPacket(Bytes{1}));
        EXPECT_EQ(server.Requests().size(), 1u);
    }
}

TEST(LauncherApiTest, SendingToAClosedPeerFailsAndCloses) {
    ScriptedServer server([](const Bytes&) { return Reply::Close(); });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{1}));
    // The first sends after the peer has gone may still be buffered; a later one must fail
    // (with an error, not a signal that ends the process) and close the connection.
    const Bytes large(65533, 0x33);
    int sends = 0;
    while (sends < 1000 && api.SendPacket(large))
        ++sends;
    EXPECT_LT(sends, 1000);
    EXPECT_FALSE(api.IsConnected());
    Bytes payload;
    EXPECT_FALSE(api.ReceivePacket(payload));
}

TEST(LauncherApiTest, SilentServerTimesOutAndCloses) {
    ScriptedServer server([](const Bytes&) { return Reply::Stall(Bytes{0x04, 0x00, 0x01}); });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{1}));
    Bytes payload;
    EXPECT_FALSE(api.ReceivePacket(payload));
    EXPECT_FALSE(api.IsConnected());
}

TEST(LauncherApiTest, OnlyDottedIPv4HostsConnect) {
    ScriptedServer server(Echo);
    const wchar_t* hosts[] = {L"",    L"localhost",  L"127.0.0.1.", L"127.1",
                              L"::1", L" 127.0.0.1", L"127.0.0.1 ", L"256.0.0.1"};
    for (const wchar_t* host : hosts) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(host)));
        LauncherApi api;
        EXPECT_FALSE(api.Connect(host, server.Port()));
        EXPECT_FALSE(api.IsConnected());
    }
    EXPECT_TRUE(server.Connections().empty());
}

TEST(LauncherApiTest, HostWithZeroByteInsideIsRefused) {
    ScriptedServer server(Echo);
    LauncherApi api;
    EXPECT_FALSE(api.Connect(std::wstring(L"127.0.0.1\0x", 11), server.Port()));
    EXPECT_TRUE(server.Connections().empty());
}

TEST(LauncherApiTest, PortUsesItsLow16Bits) {
    EXPECT_EQ(PortFromConfig(70000), 4464);
    EXPECT_EQ(PortFromConfig(65536), 0);
    EXPECT_EQ(PortFromConfig(-1), 65535);
    ScriptedServer server(Echo);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port() + 65536));
    ASSERT_TRUE(api.SendPacket(Bytes{3}));
    Bytes payload;
    ASSERT_TRUE(api.ReceivePacket(payload));
    EXPECT_EQ(payload, Bytes{3});
}

TEST(LauncherApiTest, RefusedConnectionFailsAndStaysClosed) {
    std::uint16_t freePort;
    {
        ScriptedServer server(Echo);
        freePort = server.Port();
    }
    LauncherApi api;
    EXPECT_FALSE(api.Connect(L"127.0.0.1", freePort));
    EXPECT_FALSE(api.IsConnected());
    EXPECT_FALSE(api.SendPacket(Bytes{1}));
}

TEST(LauncherApiTest, SecondConnectClosesTheFirstSocket) {
    ScriptedServer server(Echo);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{8}));
    Bytes payload;
    // The server serves one connection at a time, so this answer means it saw the first end.
    ASSERT_TRUE(api.ReceivePacket(payload));
    std::vector<test::ServedConnection> connections = server.Connections();
    ASSERT_EQ(connections.size(), 2u);
    EXPECT_TRUE(connections[0].peerClosed);
    EXPECT_TRUE(connections[0].requests.empty());
    EXPECT_EQ(connections[1].requests.size(), 1u);
}

TEST(LauncherApiTest, CloseEndsTheConnectionAndAllowsReconnecting) {
    ScriptedServer server(Echo);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    api.Close();
    EXPECT_FALSE(api.IsConnected());
    EXPECT_FALSE(api.SendPacket(Bytes{1}));
    api.Close();
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{1}));
    Bytes payload;
    ASSERT_TRUE(api.ReceivePacket(payload));
    EXPECT_EQ(server.Connections().size(), 2u);
}

TEST(LauncherApiTest, ReconnectAfterClosingASilentConnection) {
    ScriptedServer server([](const Bytes& request) {
        if (request == Bytes{1})
            return Reply::Stall();
        return Reply::Payload(request);
    });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{1}));
    api.Close();
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{2}));
    Bytes payload;
    ASSERT_TRUE(api.ReceivePacket(payload));
    EXPECT_EQ(payload, Bytes{2});
    EXPECT_EQ(server.Connections().size(), 2u);
}

TEST(LauncherApiTest, FailedConnectClosesTheOldConnection) {
    ScriptedServer server(Echo);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    EXPECT_FALSE(api.Connect(L"example.invalid", server.Port()));
    EXPECT_FALSE(api.IsConnected());
    EXPECT_FALSE(api.SendPacket(Bytes{1}));
}

}  // namespace
}  // namespace ombrelta
