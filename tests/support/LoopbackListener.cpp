#include "tests/support/LoopbackListener.h"

#include "common/SocketNative.h"

namespace ombrelta {
namespace {

// Writes 127.0.0.1 or ::1 with port 0 into address and returns the length it takes.
socklen_t LoopbackAddress(AddressFamily family, sockaddr_storage& address) {
    if (family == AddressFamily::IPv6) {
        auto& address6 = reinterpret_cast<sockaddr_in6&>(address);
        address6.sin6_family = AF_INET6;
        address6.sin6_addr.s6_addr[15] = 1;
        return sizeof(sockaddr_in6);
    }
    auto& address4 = reinterpret_cast<sockaddr_in&>(address);
    address4.sin_family = AF_INET;
    address4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sizeof(sockaddr_in);
}

}  // namespace

std::optional<std::uint16_t> ListenOnLoopback(SocketHandle& listener, AddressFamily family, int backlog) {
    listener = CreateTcpSocket(family);
    if (listener == kInvalidSocket)
        return std::nullopt;
    sockaddr_storage local{};
    socklen_t length = LoopbackAddress(family, local);
    auto* localAddress = reinterpret_cast<sockaddr*>(&local);
    if (::bind(Native(listener), localAddress, length) != 0 ||
        ::listen(Native(listener), backlog == kLargestBacklog ? SOMAXCONN : backlog) != 0 ||
        ::getsockname(Native(listener), localAddress, &length) != 0) {
        CloseSocket(listener);
        listener = kInvalidSocket;
        return std::nullopt;
    }
    return PortOf(local);
}

}  // namespace ombrelta
