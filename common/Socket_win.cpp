#include "common/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

namespace ombrelta {
namespace {

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

SocketHandle Portable(SOCKET socket) {
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
}

int ClampedSize(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

void SocketLibraryStartup() {
    WSADATA data{};
    (void)::WSAStartup(MAKEWORD(2, 2), &data);
}

void SocketLibraryCleanup() {
    (void)::WSACleanup();
}

SocketHandle CreateTcpSocket() {
    return Portable(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

void SetSocketTimeouts(SocketHandle socket, std::uint32_t milliseconds) {
    // Winsock takes the timeout as a DWORD of milliseconds, not as a timeval.
    DWORD value = milliseconds;
    (void)::setsockopt(Native(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                       sizeof(value));
    (void)::setsockopt(Native(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value),
                       sizeof(value));
}

void SetNoDelay(SocketHandle socket) {
    BOOL on = TRUE;
    (void)::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof(on));
}

std::optional<std::uint32_t> ParseIPv4(const std::string& host) {
    if (host.find('\0') != std::string::npos)
        return std::nullopt;
    IN_ADDR address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

bool ConnectSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = ::htons(port);
    target.sin_addr.s_addr = address;
    return ::connect(Native(socket), reinterpret_cast<const sockaddr*>(&target), sizeof(target)) == 0;
}

int SendSome(SocketHandle socket, const std::uint8_t* data, std::size_t size) {
    return ::send(Native(socket), reinterpret_cast<const char*>(data), ClampedSize(size), 0);
}

int ReceiveSome(SocketHandle socket, std::uint8_t* data, std::size_t size) {
    return ::recv(Native(socket), reinterpret_cast<char*>(data), ClampedSize(size), 0);
}

void ShutdownSocket(SocketHandle socket) {
    (void)::shutdown(Native(socket), SD_BOTH);
    // shutdown alone does not wake a recv that another thread is blocked in (Winsock waits for
    // the receive timeout); cancelling the socket's pending I/O makes that call fail now.
    (void)::CancelIoEx(reinterpret_cast<HANDLE>(Native(socket)), nullptr);
}

void CloseSocket(SocketHandle socket) {
    (void)::closesocket(Native(socket));
}

void ShutdownAndClose(SocketHandle socket) {
    ShutdownSocket(socket);
    CloseSocket(socket);
}

bool WaitReadable(SocketHandle socket, std::uint32_t milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(socket), &readable);
    timeval timeout{};
    timeout.tv_sec = static_cast<long>(milliseconds / 1000);
    timeout.tv_usec = static_cast<long>((milliseconds % 1000) * 1000);
    return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

std::optional<std::uint16_t> ListenOnLoopback(SocketHandle& listener) {
    listener = CreateTcpSocket();
    if (listener == kInvalidSocket)
        return std::nullopt;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    local.sin_port = 0;
    int length = sizeof(local);
    if (::bind(Native(listener), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(Native(listener), SOMAXCONN) != 0 ||
        ::getsockname(Native(listener), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        CloseSocket(listener);
        listener = kInvalidSocket;
        return std::nullopt;
    }
    return ::ntohs(local.sin_port);
}

SocketHandle AcceptConnection(SocketHandle listener) {
    return Portable(::accept(Native(listener), nullptr, nullptr));
}

}  // namespace ombrelta
