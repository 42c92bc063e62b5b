#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace ombrelta {

/// Two lower-case hex digits per byte, in order.
std::string BytesToHex(std::span<const std::uint8_t> bytes);

}  // namespace ombrelta
