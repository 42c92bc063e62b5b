#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ombrelta::patchkit {

/// How a game folder changed between two releases. Paths are relative, UTF-8, '/'-separated
/// and sorted; the root "version.dat" of either tree is left out, since a patch brings its own.
struct TreeChanges {
    std::vector<std::string> changed;  // added, or present in both with other bytes
    std::vector<std::string> removed;  // only in the old tree
};

/// Compares two trees file by file, by content. Links are followed; only regular files count.
/// Throws std::filesystem::filesystem_error or std::runtime_error, naming the path, when a tree
/// or a file cannot be read.
TreeChanges CompareTrees(const std::filesystem::path& oldRoot, const std::filesystem::path& newRoot);

}  // namespace ombrelta::patchkit
