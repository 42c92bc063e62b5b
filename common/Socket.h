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
/// Ends one SocketLibraryStartup.
void SocketLibraryCleanup();

/// A new IPv4 TCP socket, or kInvalidSocket.
SocketHandle CreateTcpSocket();
/// Sets the receive then the send timeout, in milliseconds; results not reported.
void SetSocketTimeouts(SocketHandle socket, std::uint32_t milliseconds);
/// The IPv4 address of dotted text (inet_pton), in network byte order; nothing for anything else.
std::optional<std::uint32_t> ParseIPv4(const std::string& host);
/// Connects to an address from ParseIPv4 and a port; false on failure.
bool ConnectSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port);
/// One send call: the count sent, or 0 or less on an error or timeout.
int SendSome(SocketHandle socket, const std::uint8_t* data, std::size_t size);
/// One recv call: the count received, 0 when the peer closed, less than 0 on an error or timeout.
int ReceiveSome(SocketHandle socket, std::uint8_t* data, std::size_t size);
/// Shuts the socket down in both directions and closes it.
void ShutdownAndClose(SocketHandle socket);

/// For tests and tools: a socket listening on 127.0.0.1 at an ephemeral port, and that port.
std::optional<std::uint16_t> ListenOnLoopback(SocketHandle& listener);
/// Waits for one connection on a listening socket; kInvalidSocket on failure.
SocketHandle AcceptConnection(SocketHandle listener);

}  // namespace ombrelta
