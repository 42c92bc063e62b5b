#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>

namespace ombrelta::server {

/// Bytes of the fixed part of a PROXY protocol version 2 header: signature, command, family and
/// the length of what follows.
inline constexpr std::size_t kProxyHeaderFixedSize = 16;
/// The longest header accepted: the addresses of two IPv6 endpoints and room for the TLVs a
/// balancer may add (unique id, authority, checksum).
inline constexpr std::size_t kProxyHeaderMaxSize = 536;

/// What the fixed part of a header announces.
struct ProxyPrefix {
    /// Bytes that follow the fixed part.
    std::size_t remaining = 0;
};

/// Reads the fixed part. Nothing when the bytes are not a version 2 header, the command is
/// neither PROXY nor LOCAL, or the header would be longer than kProxyHeaderMaxSize.
std::optional<ProxyPrefix> ParseProxyPrefix(std::span<const std::uint8_t, kProxyHeaderFixedSize> fixed);

/// The client a whole header speaks for: its source endpoint for a PROXY command over TCP; no
/// endpoint for a LOCAL command (the balancer's own health check) or an unspecified family.
/// Throws std::runtime_error for a damaged header (an address block shorter than its family
/// needs, a transport other than TCP stream).
std::optional<asio::ip::tcp::endpoint> ParseProxyHeader(std::span<const std::uint8_t> header);

/// The peers that must introduce their connections with a PROXY header.
class ProxySources {
public:
    /// Parses a comma-separated list of IPv4 or IPv6 addresses, each optionally with a prefix
    /// length ("127.0.0.1", "10.0.0.0/8"). Throws std::invalid_argument naming the bad item.
    static ProxySources Parse(const std::string& list);

    bool Empty() const { return ranges.empty(); }
    /// True when address lies in one of the ranges.
    bool Contains(const asio::ip::address& address) const;

private:
    struct Range {
        asio::ip::address network;
        unsigned prefixLength = 0;
    };
    std::vector<Range> ranges;
};

}  // namespace ombrelta::server
