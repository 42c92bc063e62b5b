#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ombrelta {

/// Keys a `publickey` value may hold: the operator's key, and a second one while launchers move
/// from an old key to a new one.
inline constexpr std::size_t kMaxPublicKeys = 2;

/// The operator's P-256 public keys that signatures are checked against. A set that is not
/// Valid() verifies nothing, so a wrong key fails every check instead of switching one off.
class PublicKeySet {
public:
    /// An empty set, which verifies nothing.
    PublicKeySet() = default;
    /// A set of one key: the bytes of an uncompressed point (65 bytes), taken as they are.
    PublicKeySet(std::vector<std::uint8_t> key);  // NOLINT(google-explicit-constructor): one key is a set

    /// Reads a `publickey` value: base64 keys separated by commas, blanks around each ignored.
    /// Never fails: a key that is not valid base64 is kept as no bytes, so the set is not valid.
    static PublicKeySet Parse(std::string_view text);

    /// True when the set holds one to kMaxPublicKeys keys and each is a P-256 point.
    bool Valid() const;
    /// True when the set is valid and derSignature (DER ECDSA) signs the SHA-256 of message
    /// under one of its keys. Never throws.
    bool Verifies(std::span<const std::uint8_t> message, std::span<const std::uint8_t> derSignature) const;

    const std::vector<std::vector<std::uint8_t>>& Keys() const { return keys; }

private:
    std::vector<std::vector<std::uint8_t>> keys;
};

}  // namespace ombrelta
