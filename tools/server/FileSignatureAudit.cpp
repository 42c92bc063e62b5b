#include "tools/server/FileSignatureAudit.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "tools/patch/GameFileListing.h"
#include "verify/SignedFileList.h"

namespace ombrelta::server {

void AuditSignedFiles(const std::filesystem::path& filesDir, ContentProblems& warnings) {
    ContentProblems problems;
    const std::vector<SignedFile> found = patchkit::ListGameFilesToSign(filesDir, problems);
    // Faults of the files themselves are the content check's to report.
    if (!problems.empty())
        return;
    const std::filesystem::path listFile = filesDir / kSignedFileListName;
    std::error_code error;
    if (!std::filesystem::exists(listFile, error)) {
        if (!found.empty())
            warnings.push_back("the game files are not signed: no ombrelta-files.sig");
        return;
    }
    std::ifstream in(listFile, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    try {
        for (const std::string& difference : patchkit::SignedListDifferences(ParseSignedFileList(text).files, found))
            warnings.push_back("ombrelta-files.sig is stale: " + difference);
    } catch (const std::runtime_error& e) {
        warnings.push_back(std::string("ombrelta-files.sig cannot be read: ") + e.what());
    }
}

}  // namespace ombrelta::server
