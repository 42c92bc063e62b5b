#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelta {

/// Standard base64 (RFC 4648 alphabet, '=' padding) of bytes.
std::string EncodeBase64(std::span<const std::uint8_t> bytes);

/// The bytes of padded standard base64 text; nothing when the text is not exactly that
/// (wrong length, a character outside the alphabet, blanks, bits left over in the last group).
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

}  // namespace ombrelta
