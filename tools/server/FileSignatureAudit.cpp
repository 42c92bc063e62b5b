#include "tools/server/FileSignatureAudit.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "tools/patch/GameFileListing.h"
#include "verify/SignedFileList.h"

namespace ombrelta::server {

std::vector<std::string> AuditSignedFiles(const std::filesystem::path& filesDir) {
    ContentProblems problems;
    const std::vector<SignedFile> found = patchkit::ListGameFilesToSign(filesDir, problems);
    // Faults of the files themselves are the content check's to report.
    if (!problems.empty())
        return {};
    const std::filesystem::path listFile = filesDir / kSignedFileListName;
    std::error_code error;
    if (!std::filesystem::exists(listFile, error))
        return found.empty() ? std::vector<std::string>{}
                             : std::vector<std::string>{"the game files are not signed: no ombrelta-files.sig"};
    std::ifstream in(listFile, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> warnings;
    try {
        for (const std::string& difference : patchkit::SignedListDifferences(ParseSignedFileList(text).files, found))
            warnings.push_back("ombrelta-files.sig is stale: " + difference);
    } catch (const std::runtime_error& e) {
        warnings.push_back(std::string("ombrelta-files.sig cannot be read: ") + e.what());
    }
    return warnings;
}

}  // namespace ombrelta::server
