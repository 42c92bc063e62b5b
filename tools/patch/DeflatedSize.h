#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>

namespace ombrelta::patchkit {

/// The size of a file's data deflated as ZipWriter deflates an entry (raw deflate, best
/// compression). Deflating, the slowest step of a large delta, stops once more than enough bytes
/// have come out and 8 MiB of the file have gone in: the size is then estimated from the share
/// of the file read so far, and is above enough. Throws std::runtime_error when the file cannot be read.
std::uint64_t DeflatedSize(const std::filesystem::path& file,
                           std::uint64_t enough = std::numeric_limits<std::uint64_t>::max());

}  // namespace ombrelta::patchkit
