#include "tools/content/LoadAudit.h"

#include <string>
#include <system_error>

#include "common/AsciiCase.h"
#include "tools/content/ContentName.h"
#include "tools/content/PathText.h"
#include "tools/content/FileSignatureAudit.h"
#include "tools/content/PatchChainAudit.h"
#include "verify/SignedFileList.h"

namespace ombrelta {
namespace {

namespace fs = std::filesystem;

// A folder "Files" serves nothing here, though it would on the operator's Windows desktop.
std::string OtherCaseOf(const fs::path& root, std::string_view folder) {
    std::error_code error;
    for (fs::directory_iterator it(root, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = PathToUtf8(it->path().filename());
        if (name != folder && EqualsIgnoringAsciiCase(std::string_view(name), folder))
            return name;
    }
    return {};
}

void AuditFolder(const fs::path& root, const std::string& folder, const std::string& missing,
                 ContentProblems& problems) {
    std::error_code error;
    if (fs::is_directory(root / folder, error))
        return;
    const std::string other = OtherCaseOf(root, folder);
    problems.push_back("no folder " + folder + "/ in " + EscapeForLog(PathToUtf8(root)) + ": " + missing +
                       (other.empty() ? "" : " (there is " + EscapeForLog(other) + "/: the name is " + folder +
                                                 " in small letters)"));
}

void AuditVersionGaps(const PatchCatalog& patches, ContentProblems& problems) {
    const PatchArchive* previous = nullptr;
    for (const PatchArchive* patch = patches.NextAfter(0); patch != nullptr; patch = patches.NextAfter(patch->version)) {
        if (previous != nullptr && patch->version != previous->version + 1)
            problems.push_back("no patch brings version " + std::to_string(previous->version + 1) +
                               ": a launcher at " + std::to_string(previous->version) + " would get patch archive " +
                               EscapeForLog(patch->fileName) + " for version " + std::to_string(patch->version));
        previous = patch;
    }
}

}  // namespace

LoadMemory RememberLoad(const PatchCatalog& patches, const FileCatalog& files) {
    LoadMemory memory{.served = !OffersNothing(patches, files)};
    for (std::uint16_t id = 0; id < files.Count(); ++id)
        memory.fileList = memory.fileList || files.Find(id)->path == kSignedFileListName;
    return memory;
}

bool OffersNothing(const PatchCatalog& patches, const FileCatalog& files) {
    return patches.Count() == 0 && files.Count() == 0;
}

ContentProblems AuditLoad(const PatchCatalog& patches,
                          const FileCatalog& files,
                          const fs::path& root,
                          const LoadMemory& previous) {
    ContentProblems problems;
    AuditFolder(root, "patches", "no patch is offered", problems);
    AuditFolder(root, "files", "no game file is offered", problems);
    if (OffersNothing(patches, files))
        problems.push_back(EscapeForLog(PathToUtf8(root)) +
                           " offers no patch and no game file: --root names the folder that holds patches/ "
                           "and files/");
    problems.insert(problems.end(), patches.Ignored().begin(), patches.Ignored().end());
    AuditVersionGaps(patches, problems);
    AuditPatchChain(patches, root / "patches", files, root / "files", problems);
    AuditSignedListAgainstFiles(root / "files", files, patches.NewestVersion(), problems);
    if (previous.fileList && !RememberLoad(patches, files).fileList)
        problems.push_back(
            "ombrelta-files.sig is gone, though it was served before: launchers with a publickey now fail "
            "every file check");
    return problems;
}

}  // namespace ombrelta
