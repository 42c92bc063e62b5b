#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ombrelta::patchkit {

/// How a game folder changed between two releases. Paths are relative, UTF-8, '/'-separated
/// and sorted. Left out of either tree: the root "version.dat" (a patch brings its own), the
/// root "ombrelta-files.sig" and "_verify_cache", "_patch_temp/", and the parts the launcher
/// writes while downloading (".download", ".download.resume", ".ombrelta-new").
struct TreeChanges {
    std::vector<std::string> changed;  // added, or present in both with other bytes
    std::vector<std::string> removed;  // only in the old tree
};

/// Compares two trees file by file, by content. Links are followed; only regular files count.
/// Throws std::filesystem::filesystem_error or std::runtime_error, naming the path, when a tree
/// or a file cannot be read.
TreeChanges CompareTrees(const std::filesystem::path& oldRoot, const std::filesystem::path& newRoot);

}  // namespace ombrelta::patchkit
