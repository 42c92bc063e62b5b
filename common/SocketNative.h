#pragma once

// The host's socket headers, and the socket helpers both sides of the socket seam share.
// Only Socket.cpp, Socket_posix.cpp, Socket_win.cpp, SocketAddress.cpp and the tests' loopback
// listener include this.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/Socket.h"

namespace ombrelta {

#ifdef _WIN32
using NativeSocket = SOCKET;
#else
using NativeSocket = int;
#endif

/// The host's own handle of socket.
inline NativeSocket Native(SocketHandle socket) {
    return static_cast<NativeSocket>(socket);
}

/// size, capped for the socket calls that count in an int.
inline int ClampedSize(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

/// AF_INET or AF_INET6.
int NativeFamily(AddressFamily family);

/// The port of an IPv4 or IPv6 address, in host order.
std::uint16_t PortOf(const sockaddr_storage& address);
/// A copy of an AF_INET or AF_INET6 address; nothing for another family or a length over 28.
std::optional<SocketAddress> FromNative(const sockaddr* address, std::size_t length);

/// A SocketAddress back in the host's own, suitably aligned, layout.
struct NativeAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};
/// The host's layout of address.
NativeAddress ToNative(const SocketAddress& address);

/// Makes socket blocking or non-blocking; false when the system refuses.
bool SetBlocking(NativeSocket socket, bool blocking);
/// Whether a connect on a non-blocking socket that did not succeed at once is still under way;
/// read at once after the call.
bool ConnectUnderWay();
/// Waits up to milliseconds for the pending connect of socket to finish.
ConnectResult AwaitConnect(NativeSocket socket, std::uint32_t milliseconds);

/// Lookup hints (addrinfo, or ADDRINFOW on Windows) for TCP addresses of either family at a port
/// given in digits.
template <typename Hints>
Hints TcpLookupHints() {
    Hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    return hints;
}

/// The AF_INET and AF_INET6 addresses of a lookup's result list, in its order.
template <typename AddrInfo>
std::vector<SocketAddress> AddressesOf(const AddrInfo* found) {
    std::vector<SocketAddress> addresses;
    for (const AddrInfo* entry = found; entry; entry = entry->ai_next) {
        if (std::optional<SocketAddress> address = FromNative(entry->ai_addr, entry->ai_addrlen))
            addresses.push_back(*address);
    }
    return addresses;
}

}  // namespace ombrelta
