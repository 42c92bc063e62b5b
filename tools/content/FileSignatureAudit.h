#pragma once

#include <cstdint>
#include <filesystem>

#include "common/PublicKeySet.h"
#include "tools/content/ContentTree.h"
#include "tools/content/FileCatalog.h"

namespace ombrelta {

/// The warning of --check about the game files' signed list: one line when the folder serves
/// files but no "ombrelta-files.sig". The server cannot know whether launchers require the
/// signature, so it never fails a check.
void AuditSignedFiles(const std::filesystem::path& filesDir, const FileCatalog& files, ContentProblems& warnings);

/// The signed list against the files as loaded (size and MD5), when there is a list: a line for a
/// list that cannot be read, one without a version or for another version than newestPatch, and
/// one for each way it no longer matches the files (a file changed, added or removed since it
/// was signed), since launchers with a publickey then refuse them.
void AuditSignedListAgainstFiles(const std::filesystem::path& filesDir,
                                 const FileCatalog& files,
                                 std::uint16_t newestPatch,
                                 ContentProblems& problems);

/// The files part of --check --public-key: adds a problem, naming "ombrelta-files.sig" or the
/// game file, for everything that makes a launcher with publicKey refuse the files once it has
/// installed newestPatch: no list or an unreadable one, a signature none of the keys made, no
/// version or one below newestPatch, a served file the list does not hold as it is now.
void CheckSignedFilesWithKey(const std::filesystem::path& filesDir,
                             const PublicKeySet& publicKey,
                             std::uint16_t newestPatch,
                             ContentProblems& problems);

}  // namespace ombrelta
