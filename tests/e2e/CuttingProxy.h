#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ombrelta::test {

/// A TCP relay on an ephemeral port of 127.0.0.1 in front of a server on 127.0.0.1 that drops
/// both ends of the connection each time another cutEvery bytes have gone from the server to the
/// client, at most maxCuts times; then it relays without cutting. beforeCut, when given, runs at
/// each cut on the relay's thread before that connection is dropped: the client has received
/// part of an answer and waits for the rest.
class CuttingProxy {
public:
    CuttingProxy(std::uint16_t serverPort,
                 std::uint64_t cutEvery,
                 int maxCuts,
                 std::function<void()> beforeCut = nullptr);
    ~CuttingProxy();
    CuttingProxy(const CuttingProxy&) = delete;
    CuttingProxy& operator=(const CuttingProxy&) = delete;

    /// The port clients connect to; 0 when listening failed.
    std::uint16_t Port() const { return port; }
    /// Bytes relayed from the server to clients so far.
    std::uint64_t ForwardedFromServer() const { return forwarded; }
    /// Connections cut so far.
    int Cuts() const { return cuts; }

private:
    void AcceptLoop();
    void Relay(int client);
    // Forwards one read from the server, only up to the next cut; false once the connection ends.
    bool ForwardFromServer(int server, int client);

    const std::uint16_t serverPort;
    const std::uint64_t cutEvery;
    const int maxCuts;
    int listener = -1;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> forwarded{0};
    std::atomic<int> cuts{0};
    const std::function<void()> beforeCut;
    std::mutex budgetMutex;
    std::uint64_t untilCut;
    std::thread acceptor;
    std::mutex relaysMutex;
    std::vector<std::thread> relays;
};

}  // namespace ombrelta::test
