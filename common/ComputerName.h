#pragma once

#include <optional>
#include <string>

namespace ombrelta {

/// The computer's name as the system gives it in narrow text, read into a 16-byte buffer
/// (so at most 15 characters); nothing when the system call fails (a longer name included).
std::optional<std::string> GetComputerNameNarrow();

}  // namespace ombrelta
