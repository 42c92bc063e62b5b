#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace ombrelta {

// A patch may carry "PATH.ombrelta-delta" in place of PATH: this header, then one zstd frame
// made with the installed PATH (the base) as its prefix. All numbers are little-endian:
//   8 bytes  magic "OMBDELTA"
//   4 bytes  format version, 1
//   8 bytes  base size          32 bytes  base SHA-256
//   8 bytes  result size        32 bytes  result SHA-256

/// The name suffix that marks a delta entry.
inline constexpr std::string_view kDeltaSuffix = ".ombrelta-delta";
inline constexpr std::wstring_view kDeltaSuffixWide = L".ombrelta-delta";

/// Size of the header in front of the frame.
inline constexpr std::size_t kDeltaHeaderSize = 92;

/// Largest base and largest result a delta may have (512 MiB): a 32-bit launcher maps both at
/// once. Larger files ship whole.
inline constexpr std::uint64_t kDeltaSizeLimit = std::uint64_t{512} << 20;

/// The window every delta frame fits in: base and result together (2^30 bytes), the most a 32-bit
/// decoder takes.
inline constexpr int kDeltaWindowLogLimit = 30;

struct DeltaHeader {
    std::uint64_t baseSize = 0;
    std::array<std::uint8_t, 32> baseSha256{};
    std::uint64_t resultSize = 0;
    std::array<std::uint8_t, 32> resultSha256{};

    bool operator==(const DeltaHeader&) const = default;
};

/// The header's bytes.
std::vector<std::uint8_t> FormatDeltaHeader(const DeltaHeader& header);

/// Reads a header from the first kDeltaHeaderSize bytes; nothing when they are fewer, the magic
/// or version differ, or either size is above kDeltaSizeLimit.
std::optional<DeltaHeader> ParseDeltaHeader(std::span<const std::uint8_t> bytes);

}  // namespace ombrelta
