#include "protocol/LauncherApi.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "protocol/HostAddresses.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::Reply;
using test::ScriptedServer;

constexpr std::uint32_t kShortLimitMs = 100;
constexpr std::uint32_t kLongLimitMs = 3000;

Reply Echo(const Bytes& request) {
    return Reply::Payload(request);
}

// One packet there and back over a connected api.
void ExpectEcho(LauncherApi& api) {
    ASSERT_TRUE(api.SendPacket(Bytes{5}));
    Bytes payload;
    ASSERT_TRUE(api.ReceivePacket(payload));
    EXPECT_EQ(payload, Bytes{5});
}

TEST(LauncherApiResolveTest, NamesAndBothAddressFamiliesConnect) {
    struct Case {
        std::wstring host;
        AddressFamily family;
    };
    const std::vector<Case> cases = {{L"localhost", AddressFamily::IPv4},
                                     {L"127.0.0.1", AddressFamily::IPv4},
                                     {L"::1", AddressFamily::IPv6},
                                     {L"[::1]", AddressFamily::IPv6}};
    for (const Case& row : cases) {
        SCOPED_TRACE(::testing::PrintToString(row.host));
        ScriptedServer server(Echo, row.family);
        LauncherApi api;
        ASSERT_TRUE(api.Connect(row.host, server.Port(), HostLookup::ResolveNames));
        ExpectEcho(api);
        EXPECT_EQ(server.Connections().size(), 1u);
    }
}

TEST(LauncherApiResolveTest, EmptyHostsAndStrayBracketsFailWithoutTraffic) {
    ScriptedServer server(Echo, AddressFamily::IPv6);
    for (const wchar_t* host : {L"", L"[]", L"[::1", L"::1]", L"[[::1]]"}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(host)));
        EXPECT_TRUE(HostAddresses(WideToUtf8(host), server.Port()).empty());
        LauncherApi api;
        EXPECT_FALSE(api.Connect(host, server.Port(), HostLookup::ResolveNames));
        EXPECT_FALSE(api.IsConnected());
    }
    EXPECT_TRUE(server.Connections().empty());
}

TEST(LauncherApiResolveTest, RefusedAndUnansweredAddressesFallBackToTheNext) {
    ScriptedServer server(Echo, AddressFamily::IPv6);
    test::FullBacklogListener unanswering;
    std::vector<SocketAddress> addresses = {test::RefusingAddress(), unanswering.Address()};
    std::vector<SocketAddress> good = HostAddresses("::1", server.Port());
    ASSERT_EQ(good.size(), 1u);
    addresses.push_back(good[0]);
    LauncherApi api;
    ASSERT_TRUE(api.ConnectToFirst(addresses, kShortLimitMs));
    ExpectEcho(api);
    EXPECT_EQ(server.Connections().size(), 1u);
}

TEST(LauncherApiResolveTest, NoAddressAnsweringFailsAndLeavesItClosed) {
    ScriptedServer server(Echo);
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    test::FullBacklogListener unanswering;
    EXPECT_FALSE(api.ConnectToFirst({test::RefusingAddress(), unanswering.Address()}, kShortLimitMs));
    EXPECT_FALSE(api.IsConnected());
    EXPECT_FALSE(api.SendPacket(Bytes{1}));
    EXPECT_FALSE(api.ConnectToFirst({}, kShortLimitMs));
}

TEST(LauncherApiResolveTest, CloseFromAnotherThreadEndsTheConnectWithoutTryingFurther) {
    ScriptedServer server(Echo);
    test::FullBacklogListener unanswering;
    std::vector<SocketAddress> addresses = {unanswering.Address(),
                                            HostAddresses("127.0.0.1", server.Port())[0]};
    LauncherApi api;
    std::atomic<bool> done{false};
    std::thread closer([&] {
        // Until the connect has given up: a Close before the first attempt starts does nothing.
        while (!done.load()) {
            api.Close();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    EXPECT_FALSE(api.ConnectToFirst(addresses, kLongLimitMs));
    done.store(true);
    closer.join();
    EXPECT_FALSE(api.IsConnected());
    EXPECT_TRUE(server.Connections().empty());
}

}  // namespace
}  // namespace ombrelta
