#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelta {

/// One launcher server: a host as the `host` key takes it and a port.
struct ServerAddress {
    std::wstring host;
    std::int32_t port = 0;

    bool operator==(const ServerAddress&) const = default;
};

/// The most servers the `servers` key adds after `host` and `port`.
inline constexpr std::size_t kMaxExtraServers = 4;

/// The servers of a `servers` value: HOST:PORT entries separated by commas, blanks around each
/// ignored. HOST is dotted IPv4, a name, or an IPv6 address in brackets ("[::1]:47000"); PORT is
/// 1 to 65535 in decimal. An entry that is not of this form is skipped; of the others, the first
/// kMaxExtraServers count and the rest are ignored. Never fails: empty for an empty value.
std::vector<ServerAddress> ParseServerList(std::string_view value);

}  // namespace ombrelta
