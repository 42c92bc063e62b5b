#pragma once

#include <cstdint>
#include <limits>
#include <optional>

#include "common/Socket.h"

namespace ombrelta {

/// A listen backlog the host caps at its own largest (SOMAXCONN).
inline constexpr int kLargestBacklog = std::numeric_limits<int>::max();

/// A socket listening on 127.0.0.1 (or ::1) at an ephemeral port, and that port; nothing (and
/// listener kInvalidSocket) on failure. A backlog of 0 queues as few pending connections as the
/// host allows, so that further connects stay unanswered.
std::optional<std::uint16_t> ListenOnLoopback(SocketHandle& listener,
                                              AddressFamily family = AddressFamily::IPv4,
                                              int backlog = kLargestBacklog);
/// Waits for one connection on a listening socket; kInvalidSocket on failure.
SocketHandle AcceptConnection(SocketHandle listener);

}  // namespace ombrelta
