#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace ombrelta::patchkit {

/// Told how many bytes of the result have gone into the delta so far, a count that only grows.
using DeltaProgress = std::function<void(std::uint64_t done)>;

/// zstd level of a delta frame for a result of resultSize bytes: 19 (as "zstd --patch-from --long
/// -19") up to 4 MiB, then one step lower for each doubling of the size (17, 15, 12, 9, 7, 5), down
/// to 3 above 256 MiB.
/// The time a delta takes then grows with the file's size, never in a cliff, at about the size a
/// level 19 delta has: zstd 1.5's optimal parser (levels 16 and up) is slow on large files and
/// finds few of the base's matches there, where long-distance matching finds them at any level.
int DeltaLevelFor(std::uint64_t resultSize);

/// The bytes of a delta entry (header and frame, see patch/DeltaHeader.h) that turns the file
/// base into the file result: one zstd frame with base as its prefix, long-distance matching on,
/// a window covering base and result, at DeltaLevelFor, on zstd's worker threads (one per core,
/// at most 4) where the library has them. Nothing when either file is above kDeltaSizeLimit.
/// progress, when given, is told as the result goes in. Throws std::runtime_error when a file
/// cannot be read or zstd fails.
std::optional<std::vector<std::uint8_t>> MakeDelta(const std::filesystem::path& base,
                                                    const std::filesystem::path& result,
                                                    const DeltaProgress& progress = {});

}  // namespace ombrelta::patchkit
