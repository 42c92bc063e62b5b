#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ombrelta {

/// A TCP socket handle as the host gives it (a Winsock SOCKET or a POSIX descriptor).
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

/// Starts the socket library (Winsock 2.2); does nothing elsewhere. Result not reported.
void SocketLibraryStartup();
/// Ends one SocketLibraryStartup; does nothing elsewhere.
void SocketLibraryCleanup();

/// A new IPv4 TCP socket, or kInvalidSocket when the host refuses one.
SocketHandle CreateTcpSocket();
/// Sets the receive then the send timeout, in milliseconds; results not reported.
void SetSocketTimeouts(SocketHandle socket, std::uint32_t milliseconds);
/// Sends small writes at once, even while earlier data is unacknowledged (TCP_NODELAY); result
/// not reported.
void SetNoDelay(SocketHandle socket);
/// The IPv4 address of dotted text (inet_pton, AF_INET), in network byte order; nothing for
/// anything else (names are never resolved, text with a zero byte inside is refused).
std::optional<std::uint32_t> ParseIPv4(const std::string& host);
/// The port a configured 32-bit port number reaches: its low 16 bits, without a range check.
constexpr std::uint16_t PortFromConfig(std::int32_t port) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(port) & 0xFFFFu);
}
/// Connects to an address from ParseIPv4 and a port (host order); false on failure.
bool ConnectSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port);
/// One send call: the count sent, or 0 or less on an error or timeout. Never raises SIGPIPE.
int SendSome(SocketHandle socket, const std::uint8_t* data, std::size_t size);
/// One recv call: the count received, 0 when the peer closed, less than 0 on an error or timeout.
int ReceiveSome(SocketHandle socket, std::uint8_t* data, std::size_t size);
/// Shuts the socket down in both directions without releasing the handle; a send or recv
/// blocked on it in another thread then fails. Result not reported.
void ShutdownSocket(SocketHandle socket);
/// Releases the handle (closesocket / close). Result not reported.
void CloseSocket(SocketHandle socket);
/// ShutdownSocket, then CloseSocket.
void ShutdownAndClose(SocketHandle socket);
/// Waits up to milliseconds until a recv or accept on the socket would not block (data, end of
/// stream, an error or a pending connection); false when the time ran out or the wait failed.
bool WaitReadable(SocketHandle socket, std::uint32_t milliseconds);

/// For tests and tools: a socket listening on 127.0.0.1 at an ephemeral port, and that port;
/// nothing (and listener kInvalidSocket) on failure.
std::optional<std::uint16_t> ListenOnLoopback(SocketHandle& listener);
/// Waits for one connection on a listening socket; kInvalidSocket on failure.
SocketHandle AcceptConnection(SocketHandle listener);

}  // namespace ombrelta
