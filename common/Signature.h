#pragma once

#include <cstdint>
#include <span>

namespace ombrelta {

/// Size of an uncompressed P-256 public key point: 0x04, then X and Y of 32 bytes each.
inline constexpr std::size_t kP256PublicKeySize = 65;

/// True when derSignature (an ECDSA signature, DER-encoded as OpenSSL writes it) signs the
/// SHA-256 of message under publicKey (an uncompressed P-256 point). False for a wrong
/// signature, a key that IsP256PublicKey refuses and any malformed signature; never throws (CNG
/// on Windows, OpenSSL's EVP elsewhere).
bool VerifyP256Signature(std::span<const std::uint8_t> publicKey,
                         std::span<const std::uint8_t> message,
                         std::span<const std::uint8_t> derSignature);

}  // namespace ombrelta
