#pragma once

#include <cstdint>
#include <filesystem>

#include "common/PublicKeySet.h"
#include "tools/content/ContentTree.h"

namespace ombrelta {

/// The warnings of --check about the game files' signed list, added to warnings: game files
/// without an "ombrelta-files.sig", a list that cannot be read, a list without a version or for
/// another version than newestPatch, or each way the list no longer matches the files (one line
/// each). None when the folder holds no files or the list matches them. The server cannot know
/// whether launchers require the signature, so these never fail a check.
void AuditSignedFiles(const std::filesystem::path& filesDir,
                      std::uint16_t newestPatch,
                      ContentProblems& warnings);

/// The files part of --check --public-key: adds a problem, naming "ombrelta-files.sig" or the
/// game file, for everything that makes a launcher with publicKey refuse the files once it has
/// installed newestPatch: no list or an unreadable one, a signature none of the keys made, no
/// version or one below newestPatch, a served file the list does not hold as it is now.
void CheckSignedFilesWithKey(const std::filesystem::path& filesDir,
                             const PublicKeySet& publicKey,
                             std::uint16_t newestPatch,
                             ContentProblems& problems);

}  // namespace ombrelta
