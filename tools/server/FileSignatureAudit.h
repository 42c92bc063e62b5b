#pragma once

#include <filesystem>
#include "tools/server/ContentTree.h"

namespace ombrelta::server {

/// The warnings of --check about the game files' signed list, added to warnings: game files
/// without an "ombrelta-files.sig", a list that cannot be read, or each way the list no longer
/// matches the files (one line each). None when the folder holds no files or the list matches
/// them. The server cannot know whether launchers require the signature, so these never fail a
/// check.
void AuditSignedFiles(const std::filesystem::path& filesDir, ContentProblems& warnings);

}  // namespace ombrelta::server
