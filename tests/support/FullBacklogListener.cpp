#include "tests/support/FullBacklogListener.h"

#include <gtest/gtest.h>

#include "tests/support/LoopbackListener.h"

namespace ombrelta::test {
namespace {

// Long enough for any loopback handshake that is answered at all.
constexpr std::uint32_t kAnsweredWithinMs = 500;
constexpr int kMostQueued = 16;

SocketAddress Loopback(std::uint16_t port) {
    return IPv4SocketAddress(*ParseIPv4("127.0.0.1"), port);
}

}  // namespace

FullBacklogListener::FullBacklogListener() {
    SocketLibraryStartup();
    Fill();
}

void FullBacklogListener::Fill() {
    port = ListenOnLoopback(listener, AddressFamily::IPv4, 0).value_or(0);
    ASSERT_NE(port, 0) << "cannot listen on 127.0.0.1";
    for (int i = 0; i < kMostQueued; ++i) {
        SocketHandle client = CreateTcpSocket();
        ASSERT_NE(client, kInvalidSocket);
        ConnectResult result = ConnectWithin(client, Address(), kAnsweredWithinMs);
        if (result == ConnectResult::Connected) {
            queued.push_back(client);
            continue;
        }
        CloseSocket(client);
        ASSERT_EQ(result, ConnectResult::TimedOut) << "the listener refused instead of leaving it pending";
        return;
    }
    ADD_FAILURE() << "the listener's queue did not fill after " << kMostQueued << " connections";
}

FullBacklogListener::~FullBacklogListener() {
    for (SocketHandle client : queued)
        CloseSocket(client);
    if (listener != kInvalidSocket)
        CloseSocket(listener);
    SocketLibraryCleanup();
}

SocketAddress FullBacklogListener::Address() const {
    return Loopback(port);
}

SocketAddress RefusingAddress() {
    SocketLibraryStartup();
    SocketHandle listener = kInvalidSocket;
    std::uint16_t port = ListenOnLoopback(listener).value_or(0);
    EXPECT_NE(port, 0) << "cannot listen on 127.0.0.1";
    if (listener != kInvalidSocket)
        CloseSocket(listener);
    SocketLibraryCleanup();
    return Loopback(port);
}

}  // namespace ombrelta::test
