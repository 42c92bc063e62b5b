#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace ombrelta::patchkit {

/// zstd level of delta frames: as "zstd --patch-from --long -19" up to kLargeDeltaResult bytes of
/// result, kLargeDeltaLevel above. zstd 1.5's optimal parser (levels 16 and up) is slow on large
/// files and there found few of the base's matches: a 256 MiB pak with 1 % changed gave a delta
/// of more than half the file at level 19, 2.8 MB at level 12.
inline constexpr int kDeltaLevel = 19;
inline constexpr int kLargeDeltaLevel = 12;
inline constexpr std::uint64_t kLargeDeltaResult = std::uint64_t{32} << 20;

/// The bytes of a delta entry (header and frame, see patch/DeltaHeader.h) that turns the file
/// base into the file result: one zstd frame with base as its prefix, long-distance matching on,
/// a window covering base and result, at kDeltaLevel or kLargeDeltaLevel. Nothing when either file is above kDeltaSizeLimit.
/// Throws std::runtime_error when a file cannot be read or zstd fails.
std::optional<std::vector<std::uint8_t>> MakeDelta(const std::filesystem::path& base,
                                                    const std::filesystem::path& result);

}  // namespace ombrelta::patchkit
