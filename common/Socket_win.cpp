#include "common/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

#include "common/SocketNative.h"
#include "common/Text.h"

namespace ombrelta {
namespace {

SocketHandle Portable(SOCKET socket) {
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
}

}  // namespace

bool SetBlocking(SOCKET socket, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ::ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

// Winsock reports a finished connect as writable and a failed one in the exception set.
ConnectResult AwaitConnect(SOCKET socket, std::uint32_t milliseconds) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval timeout{};
    timeout.tv_sec = static_cast<long>(milliseconds / 1000);
    timeout.tv_usec = static_cast<long>((milliseconds % 1000) * 1000);
    int ready = ::select(0, nullptr, &writable, &failed, &timeout);
    if (ready == 0)
        return ConnectResult::TimedOut;
    if (ready < 0 || FD_ISSET(socket, &failed))
        return ConnectResult::Failed;
    int error = 0;
    int length = sizeof(error);
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
        error != 0)
        return ConnectResult::Failed;
    return ConnectResult::Connected;
}

bool ConnectUnderWay() {
    return ::WSAGetLastError() == WSAEWOULDBLOCK;
}

void SocketLibraryStartup() {
    WSADATA data{};
    (void)::WSAStartup(MAKEWORD(2, 2), &data);
}

void SocketLibraryCleanup() {
    (void)::WSACleanup();
}

SocketHandle CreateTcpSocket(AddressFamily family) {
    return Portable(::socket(NativeFamily(family), SOCK_STREAM, IPPROTO_TCP));
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
    (void)::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                       sizeof(on));
}

bool ConnectSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
    const NativeAddress target = ToNative(IPv4SocketAddress(address, port));
    return ::connect(Native(socket), target.Get(), target.length) == 0;
}

std::vector<SocketAddress> ResolveHost(const std::string& host, std::uint16_t port) {
    if (host.empty() || host.find('\0') != std::string::npos)
        return {};
    std::wstring hostW = Utf8ToWide(host);
    std::wstring portW = std::to_wstring(port);
    const ADDRINFOW hints = TcpLookupHints<ADDRINFOW>();
    ADDRINFOW* found = nullptr;
    if (hostW.empty() || ::GetAddrInfoW(hostW.c_str(), portW.c_str(), &hints, &found) != 0)
        return {};
    std::vector<SocketAddress> addresses = AddressesOf(found);
    ::FreeAddrInfoW(found);
    return addresses;
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

bool WaitReadable(SocketHandle socket, std::uint32_t milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(socket), &readable);
    timeval timeout{};
    timeout.tv_sec = static_cast<long>(milliseconds / 1000);
    timeout.tv_usec = static_cast<long>((milliseconds % 1000) * 1000);
    return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

}  // namespace ombrelta
