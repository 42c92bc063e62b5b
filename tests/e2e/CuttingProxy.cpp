#include "tests/e2e/CuttingProxy.h"

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrelta::test {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

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

CuttingProxy::CuttingProxy(std::uint16_t serverPort, std::uint64_t cutEvery, int maxCuts)
    : serverPort(serverPort), cutEvery(cutEvery), maxCuts(maxCuts), untilCut(cutEvery) {
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof(address);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener, 8) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port = ntohs(address.sin_port);
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
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(serverPort);
    if (server >= 0 && ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
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
    std::lock_guard lock(budgetMutex);
    if (cuts >= maxCuts)
        return true;
    untilCut -= static_cast<std::uint64_t>(got);
    if (untilCut > 0)
        return true;
    untilCut = cutEvery;
    ++cuts;
    return false;
}

}  // namespace ombrelta::test
