#pragma once

#include <string_view>

namespace ombrelta::server {

/// Writes the bytes to the process's standard error with the system's own call, past any
/// runtime buffer or lock, so a thread blocked here never holds up another one that exits.
/// Blocks while the receiver does not read; bytes that cannot be written are lost.
void WriteStandardError(std::string_view bytes);

}  // namespace ombrelta::server
