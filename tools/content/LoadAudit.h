#pragma once

#include <filesystem>

#include "tools/content/ContentTree.h"
#include "tools/content/FileCatalog.h"
#include "tools/content/PatchCatalog.h"

namespace ombrelta {

/// What one load of the content leaves for the checks of the next.
struct LoadMemory {
    bool served = false;    // patches or game files were on offer
    bool fileList = false;  // "ombrelta-files.sig" was among the game files
};

/// What content loaded from root leaves for the next load.
LoadMemory RememberLoad(const PatchCatalog& patches, const FileCatalog& files);

/// True when the content offers neither a patch nor a game file.
bool OffersNothing(const PatchCatalog& patches, const FileCatalog& files);

/// The checks made at every load (start, reload and --check), one line per mistake of
/// publishing that would otherwise look like success: a missing "patches" or "files" folder
/// (naming one in another letter case), a root that offers nothing, a name in the patches folder
/// that is not taken, a gap in the versions, the patches differing from the game files
/// (AuditPatchChain), a signed list that no longer matches them (AuditSignedListAgainstFiles),
/// and a list gone that the previous load had.
ContentProblems AuditLoad(const PatchCatalog& patches,
                          const FileCatalog& files,
                          const std::filesystem::path& root,
                          const LoadMemory& previous);

}  // namespace ombrelta
