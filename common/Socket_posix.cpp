#include "common/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace ombrelta {
namespace {

int Fd(SocketHandle socket) {
    return static_cast<int>(socket);
}

int ClampedSize(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

void SocketLibraryStartup() {}

void SocketLibraryCleanup() {}

SocketHandle CreateTcpSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd < 0 ? kInvalidSocket : fd;
}

void SetSocketTimeouts(SocketHandle socket, std::uint32_t milliseconds) {
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(milliseconds / 1000);
    timeout.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    (void)::setsockopt(Fd(socket), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    (void)::setsockopt(Fd(socket), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
}

void SetNoDelay(SocketHandle socket) {
    int on = 1;
    (void)::setsockopt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

std::optional<std::uint32_t> ParseIPv4(const std::string& host) {
    if (host.find('\0') != std::string::npos)
        return std::nullopt;
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

bool ConnectSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    int result;
    do {
        result = ::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&target), sizeof(target));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

int SendSome(SocketHandle socket, const std::uint8_t* data, std::size_t size) {
    // MSG_NOSIGNAL: a peer that has gone away must fail the send, not end the process.
    ssize_t sent;
    do {
        sent = ::send(Fd(socket), data, static_cast<std::size_t>(ClampedSize(size)), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return static_cast<int>(sent);
}

int ReceiveSome(SocketHandle socket, std::uint8_t* data, std::size_t size) {
    ssize_t received;
    do {
        received = ::recv(Fd(socket), data, static_cast<std::size_t>(ClampedSize(size)), 0);
    } while (received < 0 && errno == EINTR);
    return static_cast<int>(received);
}

void ShutdownSocket(SocketHandle socket) {
    (void)::shutdown(Fd(socket), SHUT_RDWR);
}

void CloseSocket(SocketHandle socket) {
    (void)::close(Fd(socket));
}

void ShutdownAndClose(SocketHandle socket) {
    ShutdownSocket(socket);
    CloseSocket(socket);
}

bool WaitReadable(SocketHandle socket, std::uint32_t milliseconds) {
    pollfd entry{};
    entry.fd = Fd(socket);
    entry.events = POLLIN;
    int timeout =
        milliseconds > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(milliseconds);
    return ::poll(&entry, 1, timeout) > 0;
}

std::optional<std::uint16_t> ListenOnLoopback(SocketHandle& listener) {
    listener = CreateTcpSocket();
    if (listener == kInvalidSocket)
        return std::nullopt;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = 0;
    socklen_t length = sizeof(local);
    if (::bind(Fd(listener), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(Fd(listener), SOMAXCONN) != 0 ||
        ::getsockname(Fd(listener), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        CloseSocket(listener);
        listener = kInvalidSocket;
        return std::nullopt;
    }
    return ntohs(local.sin_port);
}

SocketHandle AcceptConnection(SocketHandle listener) {
    int fd;
    do {
        fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? kInvalidSocket : fd;
}

}  // namespace ombrelta
