#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/content/ContentTree.h"
#include "verify/SignedFileList.h"

namespace ombrelta {

/// Every game file below filesDir except "ombrelta-files.sig", as the server's hash list names
/// them ('/' separators, ordered by the bytes of the path), with size, MD5 and SHA-256. Adds a
/// problem for every path the launcher would refuse, every file it cannot read and every file
/// over 4294967295 bytes; a missing folder lists nothing.
std::vector<SignedFile> ListGameFilesToSign(const std::filesystem::path& filesDir,
                                            ContentProblems& problems);

/// One line per difference between a signed list and the files found now: a file changed,
/// missing or not signed. Empty when they agree. A found file without a SHA-256 text is compared
/// by size and MD5 alone.
std::vector<std::string> SignedListDifferences(const std::vector<SignedFile>& signedFiles,
                                               const std::vector<SignedFile>& found);

}  // namespace ombrelta
