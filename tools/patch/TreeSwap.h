#pragma once

#include <filesystem>

namespace ombrelta::patchkit {

/// Exchanges what two paths on one file system name, in one step: no moment exists at which
/// either path names nothing or names both. Throws std::filesystem::filesystem_error, naming
/// both paths, when the system refuses (another file system, a path missing).
void ExchangePaths(const std::filesystem::path& first, const std::filesystem::path& second);

/// True when both existing paths lie on one file system, so that one can be renamed onto the
/// other; false when they do not or either cannot be examined.
bool OnOneFileSystem(const std::filesystem::path& first, const std::filesystem::path& second);

}  // namespace ombrelta::patchkit
