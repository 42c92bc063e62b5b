#include "protocol/LauncherApi.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::Reply;
using test::ScriptedServer;

// The worker blocks in the receive of an answer that never comes; Close on this thread must
// make it fail long before the 5 s receive timeout would, whatever the interleaving.
TEST(LauncherApiThreadsTest, CloseFromAnotherThreadUnblocksAWaitingReceive) {
    std::atomic<bool> requestSeen{false};
    ScriptedServer server([&](const Bytes&) {
        requestSeen.store(true);
        return Reply::Stall();
    });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    std::string workerError;
    std::thread worker([&] {
        try {
            api.GetNextPatch(1000);
        } catch (const std::runtime_error& error) {
            workerError = error.what();
        }
    });
    while (!requestSeen.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    api.Close();
    worker.join();
    EXPECT_EQ(workerError, "Empty get next patch response.");
    EXPECT_FALSE(api.IsConnected());
    EXPECT_FALSE(api.SendPacket(Bytes{1}));
}

// The server reads one request and then nothing more, so the worker's sends fill the socket
// buffers and block; Close on this thread must make the blocked send fail.
TEST(LauncherApiThreadsTest, CloseFromAnotherThreadUnblocksAWaitingSend) {
    std::atomic<bool> requestSeen{false};
    ScriptedServer server([&](const Bytes&) {
        requestSeen.store(true);
        return Reply::Stall();
    });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    std::atomic<int> sends{0};
    std::thread worker([&] {
        const Bytes large(65533, 0x44);
        while (api.SendPacket(large))
            sends.fetch_add(1);
    });
    while (!requestSeen.load() || sends.load() < 4)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    api.Close();
    worker.join();
    EXPECT_FALSE(api.IsConnected());
}

// Close racing with a stream of packet operations at every point: each operation either works or
// fails cleanly, and nothing is used after it has been closed (ThreadSanitizer and ASan watch).
TEST(LauncherApiThreadsTest, CloseRacingWithTrafficEndsCleanly) {
    ScriptedServer server([](const Bytes& request) { return Reply::Payload(request); });
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        std::atomic<int> exchanges{0};
        std::atomic<bool> workerDone{false};
        std::thread worker([&] {
            Bytes answer;
            while (api.SendPacket(Bytes{1, 2, 3}) && api.ReceivePacket(answer))
                exchanges.fetch_add(1);
            workerDone.store(true);
        });
        while (exchanges.load() < round && !workerDone.load())
            std::this_thread::yield();
        api.Close();
        worker.join();
        EXPECT_FALSE(api.IsConnected());
    }
}

TEST(LauncherApiThreadsTest, ReconnectAfterCloseFromAnotherThread) {
    ScriptedServer server([](const Bytes& request) { return Reply::Payload(request); });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    std::thread closer([&] { api.Close(); });
    closer.join();
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    ASSERT_TRUE(api.SendPacket(Bytes{4}));
    Bytes answer;
    ASSERT_TRUE(api.ReceivePacket(answer));
    EXPECT_EQ(answer, Bytes{4});
}

}  // namespace
}  // namespace ombrelta
