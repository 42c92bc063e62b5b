#include "common/Socket.h"

#include <array>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FullBacklogListener.h"
#include "tests/support/LoopbackListener.h"

namespace ombrelta {
namespace {

constexpr std::uint32_t kShortLimitMs = 50;
constexpr std::uint32_t kAnsweredWithinMs = 5000;

class SocketTest : public ::testing::Test {
protected:
    SocketTest() { SocketLibraryStartup(); }
    ~SocketTest() override { SocketLibraryCleanup(); }

    // Connects a new socket of the address's family; the result of ConnectWithin.
    static ConnectResult Reach(const SocketAddress& address, std::uint32_t milliseconds) {
        SocketHandle client = CreateTcpSocket(address.family);
        EXPECT_NE(client, kInvalidSocket);
        ConnectResult result = ConnectWithin(client, address, milliseconds);
        CloseSocket(client);
        return result;
    }
};

TEST_F(SocketTest, EmptyOrZeroBytedHostsResolveToNothing) {
    EXPECT_TRUE(ResolveHost("", 80).empty());
    EXPECT_TRUE(ResolveHost(std::string("127.0.0.1\0x", 11), 80).empty());
}

// Both hosts' inet_pton behind one function: four dotted decimal parts and nothing else.
TEST_F(SocketTest, ParseIPv4TakesDottedQuadsOnly) {
    struct Row {
        std::string text;
        std::optional<std::array<std::uint8_t, 4>> bytes;
    };
    const std::vector<Row> rows = {
        {"127.0.0.1", {{127, 0, 0, 1}}},
        {"0.0.0.0", {{0, 0, 0, 0}}},
        {"255.254.1.10", {{255, 254, 1, 10}}},
        {"256.0.0.1", std::nullopt},
        {"1.2.3", std::nullopt},
        {"127.1", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"0x7f.0.0.1", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"1.2.3.-4", std::nullopt},
        {"", std::nullopt},
        {"localhost", std::nullopt},
        {"::1", std::nullopt},
        {std::string("1.2.3.4\0", 8), std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const std::optional<std::uint32_t> address = ParseIPv4(row.text);
        ASSERT_EQ(address.has_value(), row.bytes.has_value());
        if (!address)
            continue;
        std::array<std::uint8_t, 4> bytes{};
        std::memcpy(bytes.data(), &*address, bytes.size());
        EXPECT_EQ(bytes, *row.bytes);
    }
}

TEST_F(SocketTest, ConnectWithinTellsRefusedFromUnanswered) {
    EXPECT_EQ(Reach(test::RefusingAddress(), kAnsweredWithinMs), ConnectResult::Failed);
    test::FullBacklogListener unanswering;
    EXPECT_EQ(Reach(unanswering.Address(), kShortLimitMs), ConnectResult::TimedOut);
}

TEST_F(SocketTest, ConnectedSocketWaitsForDataAgain) {
    SocketHandle listener = kInvalidSocket;
    std::optional<std::uint16_t> port = ListenOnLoopback(listener, AddressFamily::IPv6);
    ASSERT_TRUE(port.has_value());
    std::vector<SocketAddress> addresses = ResolveHost("::1", *port);
    ASSERT_EQ(addresses.size(), 1u);
    SocketHandle client = CreateTcpSocket(AddressFamily::IPv6);
    ASSERT_EQ(ConnectWithin(client, addresses[0], kAnsweredWithinMs), ConnectResult::Connected);
    SocketHandle server = AcceptConnection(listener);
    ASSERT_NE(server, kInvalidSocket);
    // Sent only once the client is likely waiting: a socket left non-blocking would fail at once.
    std::thread sender([server] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::uint8_t byte = 7;
        EXPECT_EQ(SendSome(server, &byte, 1), 1);
    });
    SetSocketTimeouts(client, kAnsweredWithinMs);
    std::uint8_t received = 0;
    EXPECT_EQ(ReceiveSome(client, &received, 1), 1);
    EXPECT_EQ(received, 7);
    sender.join();
    for (SocketHandle handle : {client, server, listener})
        CloseSocket(handle);
}

}  // namespace
}  // namespace ombrelta
