#include "tools/patch/TreeChanges.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <stdexcept>
#include <vector>

#include "tools/content/PathText.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;

// Files that the launcher, the server or the signing tool keep beside the game files and that
// a patch must never carry: the signed list (a patch cannot sign it), the verified-file cache, a
// download's part and its record, an entry not yet renamed, and a patch part.
bool LauncherOwnFile(const std::string& relative) {
    static const std::set<std::string> rootFiles{"version.dat", "ombrelta-files.sig", "_verify_cache"};
    static const std::vector<std::string> suffixes{".download", ".download.resume", ".ombrelta-new"};
    return rootFiles.contains(relative) || relative.starts_with("_patch_temp/") ||
           std::any_of(suffixes.begin(), suffixes.end(),
                       [&](const std::string& suffix) { return relative.ends_with(suffix); });
}

std::set<std::string> RegularFiles(const fs::path& root) {
    std::set<std::string> files;
    for (const fs::directory_entry& entry :
         fs::recursive_directory_iterator(root, fs::directory_options::follow_directory_symlink)) {
        if (!entry.is_regular_file())
            continue;
        std::string relative = GenericPathToUtf8(entry.path().lexically_relative(root));
        if (!LauncherOwnFile(relative))
            files.insert(std::move(relative));
    }
    return files;
}

std::ifstream OpenForReading(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        throw std::runtime_error("cannot read " + PathToUtf8(file));
    return stream;
}

bool SameContent(const fs::path& a, const fs::path& b) {
    if (fs::file_size(a) != fs::file_size(b))
        return false;
    std::ifstream first = OpenForReading(a);
    std::ifstream second = OpenForReading(b);
    std::array<char, 64 * 1024> bufferA;
    std::array<char, 64 * 1024> bufferB;
    while (first && second) {
        first.read(bufferA.data(), bufferA.size());
        second.read(bufferB.data(), bufferB.size());
        if (first.gcount() != second.gcount() ||
            !std::equal(bufferA.begin(), bufferA.begin() + first.gcount(), bufferB.begin()))
            return false;
    }
    if (first.bad() || second.bad())
        throw std::runtime_error("cannot read " + PathToUtf8(a) + " or " + PathToUtf8(b));
    return true;
}

}  // namespace

TreeChanges CompareTrees(const fs::path& oldRoot, const fs::path& newRoot) {
    const std::set<std::string> oldFiles = RegularFiles(oldRoot);
    const std::set<std::string> newFiles = RegularFiles(newRoot);
    TreeChanges changes;
    for (const std::string& file : newFiles) {
        const fs::path relative = PathFromUtf8(file);
        if (!oldFiles.contains(file) || !SameContent(oldRoot / relative, newRoot / relative))
            changes.changed.push_back(file);
    }
    std::set_difference(oldFiles.begin(), oldFiles.end(), newFiles.begin(), newFiles.end(),
                        std::back_inserter(changes.removed));
    return changes;
}

}  // namespace ombrelta::patchkit
