#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Numbers in our packets, archives and records are stored least significant byte first, whatever
// the host's own order. Number picks the width: std::uint16_t is two bytes, and so on.

namespace ombrelta {

/// The Number in the sizeof(Number) bytes at bytes[at]. The caller has checked that they are
/// there; nothing is checked here.
template <std::unsigned_integral Number>
constexpr Number LoadLittleEndian(std::span<const std::uint8_t> bytes, std::size_t at) {
    Number value = 0;
    for (std::size_t i = sizeof(Number); i-- > 0;)
        value = static_cast<Number>((value << 8) | bytes[at + i]);
    return value;
}

/// Writes value over the sizeof(Number) bytes at bytes[at], which the caller has checked are there.
template <std::unsigned_integral Number>
constexpr void StoreLittleEndian(std::span<std::uint8_t> bytes, std::size_t at, Number value) {
    for (std::size_t i = 0; i < sizeof(Number); ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

/// Appends the sizeof(Number) bytes of value to out.
template <std::unsigned_integral Number>
void AppendLittleEndian(std::vector<std::uint8_t>& out, Number value) {
    for (std::size_t i = 0; i < sizeof(Number); ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace ombrelta
