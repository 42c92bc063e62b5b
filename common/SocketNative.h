#pragma once

// The host's socket headers, and the socket address helpers both sides of the socket seam share.
// Only Socket_posix.cpp, Socket_win.cpp and SocketAddress.cpp include this.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/Socket.h"

namespace ombrelta {

/// AF_INET or AF_INET6.
int NativeFamily(AddressFamily family);
/// A copy of an AF_INET or AF_INET6 address; nothing for another family or a length over 28.
std::optional<SocketAddress> FromNative(const sockaddr* address, std::size_t length);
/// Writes 127.0.0.1 or ::1 with port 0 into address and returns the length it takes.
socklen_t LoopbackAddress(AddressFamily family, sockaddr_storage& address);
/// The port, in host order, of an AF_INET or AF_INET6 address.
std::uint16_t PortOf(const sockaddr_storage& address);

}  // namespace ombrelta
