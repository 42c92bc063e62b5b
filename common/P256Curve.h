#pragma once

#include <cstdint>
#include <span>

namespace ombrelta {

/// True when key is an uncompressed point of the P-256 curve: 0x04, then X and Y (32 bytes each,
/// big-endian), both below the field prime, with Y² = X³ - 3X + b. A key that fails this can
/// verify nothing; a typing error in its base64 almost always lands here. Never fails.
bool IsP256PublicKey(std::span<const std::uint8_t> key);

}  // namespace ombrelta
