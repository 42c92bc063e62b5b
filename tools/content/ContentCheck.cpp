#include "tools/content/ContentCheck.h"

#include <system_error>

#include "tools/content/ContentName.h"
#include "tools/content/FileSignatureAudit.h"
#include "tools/content/LoadAudit.h"
#include "tools/content/PatchAudit.h"
#include "tools/content/PathText.h"

namespace ombrelta {

ContentVerdict AuditContent(const PatchCatalog& patches,
                            const FileCatalog& files,
                            const std::filesystem::path& root,
                            const std::optional<PublicKeySet>& publicKey) {
    ContentVerdict verdict;
    const std::filesystem::path patchDir = root / "patches";
    const std::filesystem::path filesDir = root / "files";
    verdict.problems = AuditLoad(patches, files, root, {});
    AuditPatches(patches, patchDir, verdict.problems);
    if (publicKey) {
        CheckPatchSignaturesWithKey(patches, patchDir, *publicKey, verdict.problems);
        CheckSignedFilesWithKey(filesDir, *publicKey, patches.NewestVersion(), verdict.problems);
    }
    AuditPatchSignatures(patches, patchDir, verdict.warnings);
    AuditDeltaEntries(patches, patchDir, files, verdict.warnings);
    AuditSignedFiles(filesDir, files, verdict.warnings);
    verdict.description = DescribeContent(patches, files);
    return verdict;
}

ContentVerdict CheckContent(const std::filesystem::path& root, const std::optional<PublicKeySet>& publicKey) {
    ContentVerdict verdict;
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
        verdict.problems.push_back("content root is not a directory: " + EscapeForLog(PathToUtf8(root)));
        return verdict;
    }
    const PatchCatalog patches = PatchCatalog::Load(root / "patches", verdict.problems);
    const FileCatalog files = FileCatalog::Load(root / "files", verdict.problems);
    if (!verdict.problems.empty())
        return verdict;
    return AuditContent(patches, files, root, publicKey);
}

std::optional<std::string> ContentRootFault(const std::filesystem::path& root) {
    std::error_code error;
    if (!std::filesystem::is_directory(root, error))
        return "content root is not a directory: " + EscapeForLog(PathToUtf8(root));
    if (!std::filesystem::is_directory(root / "patches", error) &&
        !std::filesystem::is_directory(root / "files", error))
        return EscapeForLog(PathToUtf8(root)) + " holds neither patches/ nor files/: not a content root";
    return std::nullopt;
}

std::string DescribeContent(const PatchCatalog& patches, const FileCatalog& files) {
    return std::to_string(patches.Count()) + " patches and " + std::to_string(files.Count()) + " game files";
}

}  // namespace ombrelta
