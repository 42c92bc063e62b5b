#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace ombrelta::patchkit {

/// zstd level of delta frames: as "zstd --patch-from --long -19".
inline constexpr int kDeltaLevel = 19;

/// The bytes of a delta entry (header and frame, see patch/DeltaHeader.h) that turns the file
/// base into the file result: one zstd frame with base as its prefix, long-distance matching on
/// and a window covering base and result. Nothing when either file is above kDeltaSizeLimit.
/// Throws std::runtime_error when a file cannot be read or zstd fails.
std::optional<std::vector<std::uint8_t>> MakeDelta(const std::filesystem::path& base,
                                                    const std::filesystem::path& result);

}  // namespace ombrelta::patchkit
