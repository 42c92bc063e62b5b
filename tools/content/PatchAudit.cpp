#include "tools/content/PatchAudit.h"

#include <optional>
#include <set>
#include <string>

#include "common/AsciiCase.h"
#include "tools/content/ContentName.h"
#include "tools/content/PatchArchiveCheck.h"
#include "tools/content/PatchSignatureAudit.h"
#include "tools/content/PathText.h"

namespace ombrelta {

void AuditPatches(const PatchCatalog& patches, const std::filesystem::path& patchDir, ContentProblems& problems) {
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr; patch = patches.NextAfter(patch->version)) {
        for (const std::string& problem : VerifyPatchArchive(patchDir / PathFromUtf8(patch->fileName),
                                                                       patch->version))
            problems.push_back("patch archive " + EscapeForLog(patch->fileName) + ": " + problem);
    }
}

void AuditPatchSignatures(const PatchCatalog& patches, const std::filesystem::path& patchDir, ContentProblems& warnings) {
    ContentProblems perPatch;
    std::size_t notSigned = 0;
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr; patch = patches.NextAfter(patch->version)) {
        const std::optional<SignatureWarning> warning =
            PatchSignatureWarning(patchDir / PathFromUtf8(patch->fileName), patch->version);
        if (!warning)
            continue;
        notSigned += warning->notSigned ? 1 : 0;
        perPatch.push_back("patch archive " + EscapeForLog(patch->fileName) + ": " + warning->text);
    }
    // An operator who does not sign at all gets one line, not one per patch.
    if (notSigned > 0 && notSigned == patches.Count()) {
        warnings.push_back("no patch is signed (no ombrelta.sig): launchers with a publickey refuse every patch");
        return;
    }
    warnings.insert(warnings.end(), perPatch.begin(), perPatch.end());
}

void CheckPatchSignaturesWithKey(const PatchCatalog& patches,
                                 const std::filesystem::path& patchDir,
                                 const PublicKeySet& publicKey,
                                 ContentProblems& problems) {
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr;
         patch = patches.NextAfter(patch->version)) {
        if (!SignedWith(patchDir / PathFromUtf8(patch->fileName), publicKey, patch->version))
            problems.push_back("patch archive " + EscapeForLog(patch->fileName) +
                               ": not signed for version " + std::to_string(patch->version) +
                               " with this public key: a launcher with it refuses it");
    }
}

void AuditDeltaEntries(const PatchCatalog& patches, const std::filesystem::path& patchDir, const FileCatalog& files,
                       ContentProblems& warnings) {
    // The launcher finds a game file in any letter case.
    std::set<std::string> gameFiles;
    for (std::uint16_t id = 0; id < files.Count(); ++id)
        gameFiles.insert(LowerAsciiLetters(files.Find(id)->path));
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr; patch = patches.NextAfter(patch->version)) {
        for (const std::string& file : DeltaEntryFiles(patchDir / PathFromUtf8(patch->fileName))) {
            if (!gameFiles.contains(LowerAsciiLetters(file)))
                warnings.push_back("patch archive " + EscapeForLog(patch->fileName) + ": delta entry for \"" +
                                   EscapeForLog(file) +
                                   "\", which is not among the game files: a launcher whose copy differs "
                                   "cannot repair it");
        }
    }
}

}  // namespace ombrelta
