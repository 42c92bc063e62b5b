#include "tools/server/PatchAudit.h"

#include <string>

#include "tools/patch/PatchArchiveCheck.h"
#include "tools/server/ContentName.h"
#include "tools/server/PathText.h"

namespace ombrelta::server {

void AuditPatches(const PatchCatalog& patches, const std::filesystem::path& patchDir, ContentProblems& problems) {
    const PatchArchive* previous = nullptr;
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr; patch = patches.NextAfter(patch->version)) {
        const std::string shown = "patch archive " + EscapeForLog(patch->fileName);
        for (const std::string& problem : patchkit::VerifyPatchArchive(patchDir / PathFromUtf8(patch->fileName),
                                                                       patch->version))
            problems.push_back(shown + ": " + problem);
        if (previous != nullptr && patch->version != previous->version + 1)
            problems.push_back("no patch brings version " + std::to_string(previous->version + 1) + ": a launcher at " +
                               std::to_string(previous->version) + " would get " + shown + " for version " +
                               std::to_string(patch->version));
        previous = patch;
    }
}

}  // namespace ombrelta::server
