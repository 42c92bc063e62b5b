#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Socket.h"

namespace ombrelta {

/// The addresses to try, in order, for a configured host when names may be resolved: dotted IPv4
/// text as it stands, without a lookup; an IPv6 literal with or without its brackets ("[::1]",
/// "::1"); otherwise what the resolver gives for the name. Empty (and nothing looked up) for an
/// empty host or one with a stray bracket; empty when the lookup finds nothing.
std::vector<SocketAddress> HostAddresses(const std::string& host, std::uint16_t port);

}  // namespace ombrelta
