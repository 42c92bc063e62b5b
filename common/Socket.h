#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ombrelta {

/// A TCP socket handle as the host gives it (a Winsock SOCKET or a POSIX descriptor).
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

/// Starts the socket library (Winsock 2.2); does nothing elsewhere. Result not reported.
void SocketLibraryStartup();
/// Ends one SocketLibraryStartup; does nothing elsewhere.
void SocketLibraryCleanup();

/// The address family of a socket and of the addresses it connects to.
enum class AddressFamily { IPv4, IPv6 };

/// One address to connect to, with its port, in the host's own socket address layout.
struct SocketAddress {
    AddressFamily family = AddressFamily::IPv4;
    std::array<std::uint8_t, 28> native{};  // a sockaddr_in or sockaddr_in6
    std::uint32_t length = 0;
};

/// How a connect with a time limit ended.
enum class ConnectResult { Connected, Failed, TimedOut };

/// A new TCP socket of the family (IPv4 unless told), or kInvalidSocket when the host refuses one.
SocketHandle CreateTcpSocket(AddressFamily family = AddressFamily::IPv4);
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
/// The address of ParseIPv4's result and a port (host order).
SocketAddress IPv4SocketAddress(std::uint32_t address, std::uint16_t port);
/// The IPv4 and IPv6 addresses of host (a name, or IPv4 or IPv6 text without brackets) at port,
/// in the order the resolver gives them (getaddrinfo / GetAddrInfoW; a name may be looked up in
/// DNS). Empty when the lookup fails or host is empty or holds a zero byte.
std::vector<SocketAddress> ResolveHost(const std::string& host, std::uint16_t port);
/// Connects the socket (of the address's family) without blocking for longer than milliseconds,
/// then makes it blocking again. TimedOut leaves the attempt pending: close the socket then.
ConnectResult ConnectWithin(SocketHandle socket, const SocketAddress& address, std::uint32_t milliseconds);
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
/// The address the socket is connected to, as "127.0.0.1:47000" or "[::1]:47000"; empty when
/// it is not connected or the system cannot tell.
std::string PeerAddressText(SocketHandle socket);
/// Waits up to milliseconds until a recv or accept on the socket would not block (data, end of
/// stream, an error or a pending connection); false when the time ran out or the wait failed.
bool WaitReadable(SocketHandle socket, std::uint32_t milliseconds);

}  // namespace ombrelta
