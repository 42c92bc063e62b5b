#include "tools/patch/ContentListing.h"

#include <system_error>

#include "common/AsciiCase.h"
#include "patch/ArchiveExtractor.h"
#include "patch/PatchManifest.h"
#include "patch/ZipEntryName.h"
#include "patch/ZipReader.h"
#include "tools/content/ContentCheck.h"
#include "tools/content/FileCatalog.h"
#include "tools/content/FileSignatureAudit.h"
#include "tools/content/PatchArchiveCheck.h"
#include "tools/content/PatchCatalog.h"
#include "tools/content/PatchSignatureAudit.h"
#include "tools/content/PathText.h"
#include "verify/SignedFileList.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;

// Entries that bring a game file: neither folders nor the version or the signature.
std::size_t GameEntries(const fs::path& archive) {
    ZipReader reader;
    if (!reader.Open(PathToUtf8(archive)))
        return 0;
    std::size_t count = 0;
    for (std::uint32_t i = 0; i < reader.EntryCount(); ++i) {
        std::wstring name;
        if (SafeEntryName(reader, i, name) && !reader.IsDirectory(i) && !IsRootVersionFile(name) &&
            !EqualsIgnoringAsciiCase(std::wstring_view(name), kPatchSignatureFileName))
            ++count;
    }
    return count;
}

std::string PatchLine(const PatchArchive& patch, const fs::path& archive) {
    const std::size_t deltas = DeltaEntryFiles(archive).size();
    const std::size_t entries = GameEntries(archive);
    const std::optional<SignatureWarning> signature = PatchSignatureWarning(archive, patch.version);
    return "version " + std::to_string(patch.version) + ": " + patch.fileName + ", " +
           std::to_string(patch.size) + " bytes, " + std::to_string(entries - std::min(deltas, entries)) +
           " whole and " + std::to_string(deltas) + " delta entries, " +
           (signature ? signature->text : "signed");
}

std::string FilesLine(const FileCatalog& files, const fs::path& filesDir, std::uint16_t newest) {
    std::uint64_t bytes = 0;
    for (std::uint16_t id = 0; id < files.Count(); ++id)
        bytes += files.Find(id)->size;
    std::vector<std::string> warnings;
    AuditSignedFiles(filesDir, files, warnings);
    AuditSignedListAgainstFiles(filesDir, files, newest, warnings);
    std::error_code error;
    std::string signature = "signed for version " + std::to_string(newest);
    if (!warnings.empty())
        signature = warnings.front();
    else if (!fs::exists(filesDir / kSignedFileListName, error))
        signature = "no files to sign";
    return "game files: " + std::to_string(files.Count()) + ", " + std::to_string(bytes) + " bytes; " +
           signature;
}

}  // namespace

std::vector<std::string> ListContent(const fs::path& root, std::vector<std::string>& problems) {
    if (const std::optional<std::string> fault = ContentRootFault(root)) {
        problems.push_back(*fault);
        return {};
    }
    const PatchCatalog patches = PatchCatalog::Load(root / "patches", problems);
    const FileCatalog files = FileCatalog::Load(root / "files", problems);
    if (!problems.empty())
        return {};
    std::vector<std::string> lines;
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr;
         patch = patches.NextAfter(patch->version))
        lines.push_back(PatchLine(*patch, root / "patches" / PathFromUtf8(patch->fileName)));
    lines.push_back(FilesLine(files, root / "files", patches.NewestVersion()));
    lines.push_back("newest version: " + std::to_string(patches.NewestVersion()));
    return lines;
}

}  // namespace ombrelta::patchkit
