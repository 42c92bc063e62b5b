#include "common/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "common/SocketNative.h"

namespace ombrelta {

bool SetBlocking(int fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    flags = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

// Waits for the pending connect to finish; a signal restarts the wait for the time left.
ConnectResult AwaitConnect(int fd, std::uint32_t milliseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    pollfd entry{};
    entry.fd = fd;
    entry.events = POLLOUT;
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        int ready = ::poll(&entry, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready == 0)
            return ConnectResult::TimedOut;
        if (ready > 0)
            break;
        if (errno != EINTR)
            return ConnectResult::Failed;
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return ConnectResult::Failed;
    return ConnectResult::Connected;
}

bool ConnectUnderWay() {
    return errno == EINPROGRESS || errno == EINTR;
}

void SocketLibraryStartup() {}

void SocketLibraryCleanup() {}

SocketHandle CreateTcpSocket(AddressFamily family) {
    int fd = ::socket(NativeFamily(family), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd < 0 ? kInvalidSocket : fd;
}

void SetSocketTimeouts(SocketHandle socket, std::uint32_t milliseconds) {
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(milliseconds / 1000);
    timeout.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    (void)::setsockopt(Native(socket), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    (void)::setsockopt(Native(socket), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
}

void SetNoDelay(SocketHandle socket) {
    int on = 1;
    (void)::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

bool ConnectSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
    const NativeAddress target = ToNative(IPv4SocketAddress(address, port));
    int result;
    do {
        result = ::connect(Native(socket), target.Get(), target.length);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

std::vector<SocketAddress> ResolveHost(const std::string& host, std::uint16_t port) {
    if (host.empty() || host.find('\0') != std::string::npos)
        return {};
    const addrinfo hints = TcpLookupHints<addrinfo>();
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return {};
    std::vector<SocketAddress> addresses = AddressesOf(found);
    ::freeaddrinfo(found);
    return addresses;
}

int SendSome(SocketHandle socket, const std::uint8_t* data, std::size_t size) {
    // MSG_NOSIGNAL: a peer that has gone away must fail the send, not end the process.
    ssize_t sent;
    do {
        sent = ::send(Native(socket), data, static_cast<std::size_t>(ClampedSize(size)), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return static_cast<int>(sent);
}

int ReceiveSome(SocketHandle socket, std::uint8_t* data, std::size_t size) {
    ssize_t received;
    do {
        received = ::recv(Native(socket), data, static_cast<std::size_t>(ClampedSize(size)), 0);
    } while (received < 0 && errno == EINTR);
    return static_cast<int>(received);
}

void ShutdownSocket(SocketHandle socket) {
    (void)::shutdown(Native(socket), SHUT_RDWR);
}

void CloseSocket(SocketHandle socket) {
    (void)::close(Native(socket));
}

bool WaitReadable(SocketHandle socket, std::uint32_t milliseconds) {
    pollfd entry{};
    entry.fd = Native(socket);
    entry.events = POLLIN;
    int timeout =
        milliseconds > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(milliseconds);
    return ::poll(&entry, 1, timeout) > 0;
}

}  // namespace ombrelta
