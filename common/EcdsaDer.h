#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace ombrelta {

/// A P-256 signature as fixed-width big-endian r then s, 32 bytes each.
using P256RawSignature = std::array<std::uint8_t, 64>;

/// r and s of a DER-encoded ECDSA signature (SEQUENCE of two INTEGERs, as OpenSSL writes it);
/// nothing unless the encoding is exactly that in its one canonical form (no trailing bytes,
/// minimal lengths, no negative or over-long integers) and 1 <= r, s < n, the order of P-256.
std::optional<P256RawSignature> ParseP256DerSignature(std::span<const std::uint8_t> der);

}  // namespace ombrelta
