#pragma once

#include <filesystem>

#include "tools/content/ContentTree.h"
#include "tools/content/PatchCatalog.h"
#include "tools/content/FileCatalog.h"

namespace ombrelta {

/// Compares what the patches bring with the game files served beside them. For each path, the
/// entry that counts is the one of the newest patch carrying it (a whole file or a delta; the
/// root "version.dat" aside), since that is what a launcher holds after the last patch; paths
/// that are no game file (any ASCII letter case) are not compared. A whole entry must equal the
/// served file in size and MD5, a delta's result (its header's size and SHA-256) must equal it
/// too; otherwise a line names the patch and the path, as a launcher would install the patch and
/// then have its file check put the served file back. Archives or entries that cannot be read
/// are left to the archive checks.
void AuditPatchChain(const PatchCatalog& patches,
                     const std::filesystem::path& patchDir,
                     const FileCatalog& files,
                     const std::filesystem::path& filesDir,
                     ContentProblems& problems);

}  // namespace ombrelta
