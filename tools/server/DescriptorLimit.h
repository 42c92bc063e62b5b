#pragma once

#include <cstddef>

namespace ombrelta::server {

/// Raises the process's limit of open descriptors to the most the system allows it, and
/// returns the limit now in force. Where sockets have no such limit, returns a count the server
/// can hold open comfortably. Never fails; a limit that cannot be raised is returned as it is.
std::size_t RaiseDescriptorLimit();

}  // namespace ombrelta::server
