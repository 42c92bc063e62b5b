#pragma once

#include <cstdint>
#include <filesystem>

namespace ombrelta::patchkit {

/// The size of a file's data deflated as ZipWriter deflates an entry (raw deflate, best
/// compression). Throws std::runtime_error when the file cannot be read.
std::uint64_t DeflatedSize(const std::filesystem::path& file);

}  // namespace ombrelta::patchkit
