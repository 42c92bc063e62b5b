#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrelta {

/// What the content loaders found wrong, one line per fault, each naming its path.
using ContentProblems = std::vector<std::string>;

/// One regular file found below a directory.
struct TreeFile {
    std::string path;            // relative, '/' separators, UTF-8 as the file system gives it
    std::filesystem::path file;  // where it was found
    std::uint64_t size = 0;      // as found while walking
};

/// Every regular file below dir, ordered by the bytes of its relative path. Links are followed,
/// to files and to directories alike, wherever they point. A dangling link, a link loop or a
/// folder that cannot be read adds a problem naming its path; other kinds of entry (pipes,
/// sockets) are skipped.
std::vector<TreeFile> ListTree(const std::filesystem::path& dir, ContentProblems& problems);

/// True when the folder dir exists (through links). A missing folder is no fault, but a link to
/// nothing in its place is: it adds a problem naming shownPath.
bool FolderPresent(const std::filesystem::path& dir, const std::string& shownPath, ContentProblems& problems);

/// The status of entry after following links, or nothing (with a problem naming shownPath)
/// when it is a dangling link or cannot be examined.
std::optional<std::filesystem::file_status> FollowedStatus(const std::filesystem::directory_entry& entry,
                                                           const std::string& shownPath,
                                                           ContentProblems& problems);

}  // namespace ombrelta
