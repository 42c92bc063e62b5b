#include "common/SocketNative.h"

#include <cstring>

namespace ombrelta {

int NativeFamily(AddressFamily family) {
    return family == AddressFamily::IPv6 ? AF_INET6 : AF_INET;
}

std::optional<SocketAddress> FromNative(const sockaddr* address, std::size_t length) {
    SocketAddress result;
    if (address->sa_family != AF_INET && address->sa_family != AF_INET6)
        return std::nullopt;
    if (length > result.native.size())
        return std::nullopt;
    result.family = address->sa_family == AF_INET6 ? AddressFamily::IPv6 : AddressFamily::IPv4;
    std::memcpy(result.native.data(), address, length);
    result.length = static_cast<std::uint32_t>(length);
    return result;
}

NativeAddress ToNative(const SocketAddress& address) {
    NativeAddress native;
    std::memcpy(&native.storage, address.native.data(), address.length);
    native.length = static_cast<socklen_t>(address.length);
    return native;
}

std::optional<std::uint32_t> ParseIPv4(const std::string& host) {
    if (host.find('\0') != std::string::npos)
        return std::nullopt;
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

SocketAddress IPv4SocketAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    return *FromNative(reinterpret_cast<const sockaddr*>(&target), sizeof(target));
}

std::uint16_t PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

std::string PeerAddressText(SocketHandle socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    char host[INET6_ADDRSTRLEN] = {};
    const void* raw = address.ss_family == AF_INET6
                          ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr)
                          : static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(address).sin_addr);
    if (inet_ntop(address.ss_family, raw, host, sizeof host) == nullptr)
        return {};
    const std::string port = std::to_string(PortOf(address));
    return address.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
}

}  // namespace ombrelta
