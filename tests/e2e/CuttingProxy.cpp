#include "tests/e2e/CuttingProxy.h"

#include <algorithm>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/Socket.h"
#include "tests/support/LoopbackListener.h"

namespace ombrelta::test {
namespace {

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

}  // namespace

CuttingProxy::CuttingProxy(std::uint16_t serverPort,
                           std::uint64_t cutEvery,
                           int maxCuts,
                           std::function<void()> beforeCut)
    : serverPort(serverPort),
      cutEvery(cutEvery),
      maxCuts(maxCuts),
      beforeCut(std::move(beforeCut)),
      untilCut(cutEvery) {
    SocketHandle listening = kInvalidSocket;
    const std::optional<std::uint16_t> listeningPort = ListenOnLoopback(listening, AddressFamily::IPv4, 8);
    if (!listeningPort)
        return;
    listener = static_cast<int>(listening);
    port = *listeningPort;
    acceptor = std::thread([this] { AcceptLoop(); });
}

CuttingProxy::~CuttingProxy() {
    stopping = true;
    ::shutdown(listener, SHUT_RDWR);
    if (acceptor.joinable())
        acceptor.join();
    ::close(listener);
    std::lock_guard lock(relaysMutex);
    for (std::thread& relay : relays)
        relay.join();
}

void CuttingProxy::AcceptLoop() {
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0 || stopping) {
            if (client >= 0)
                ::close(client);
            return;
        }
        std::lock_guard lock(relaysMutex);
        relays.emplace_back([this, client] { Relay(client); });
    }
}

void CuttingProxy::Relay(int client) {
    const int server = static_cast<int>(CreateTcpSocket());
    if (server >= 0 && ConnectSocket(server, *ParseIPv4("127.0.0.1"), serverPort)) {
        pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        char buffer[16384];
        bool open = true;
        while (open && !stopping) {
            if (::poll(ends, 2, 200) < 0)
                break;
            if (ends[0].revents != 0) {
                const ssize_t got = ::recv(client, buffer, sizeof(buffer), 0);
                open = got > 0 && SendAll(server, buffer, static_cast<std::size_t>(got));
            }
            if (open && ends[1].revents != 0)
                open = ForwardFromServer(server, client);
        }
    }
    ::close(server);
    ::close(client);
}

bool CuttingProxy::ForwardFromServer(int server, int client) {
    char buffer[16384];
    std::size_t want = sizeof(buffer);
    {
        std::lock_guard lock(budgetMutex);
        if (cuts < maxCuts)
            want = static_cast<std::size_t>(std::min<std::uint64_t>(want, untilCut));
    }
    const ssize_t got = ::recv(server, buffer, want, 0);
    if (got <= 0 || !SendAll(client, buffer, static_cast<std::size_t>(got)))
        return false;
    forwarded += static_cast<std::uint64_t>(got);
    {
        std::lock_guard lock(budgetMutex);
        if (cuts >= maxCuts)
            return true;
        untilCut -= static_cast<std::uint64_t>(got);
        if (untilCut > 0)
            return true;
        untilCut = cutEvery;
        ++cuts;
    }
    if (beforeCut)
        beforeCut();
    return false;
}

}  // namespace ombrelta::test
