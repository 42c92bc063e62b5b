#include "tools/content/GameFileListing.h"

#include <map>

#include "common/Text.h"
#include "tools/content/ContentName.h"
#include "tools/content/ContentRules.h"
#include "tools/content/PathText.h"
#include "verify/FileHash.h"

namespace ombrelta {
namespace {

constexpr std::uint64_t kMaxFileSize = 4294967295u;

std::map<std::string, const SignedFile*> ByPath(const std::vector<SignedFile>& files) {
    std::map<std::string, const SignedFile*> byPath;
    for (const SignedFile& file : files)
        byPath.emplace(file.path, &file);
    return byPath;
}

}  // namespace

std::vector<SignedFile> ListGameFilesToSign(const std::filesystem::path& filesDir,
                                            ContentProblems& problems) {
    if (!FolderPresent(filesDir, "files", problems))
        return {};
    std::vector<TreeFile> found = ListTree(filesDir, problems);
    std::erase_if(found, [](const TreeFile& file) { return file.path == kSignedFileListName; });
    std::vector<std::string> paths;
    for (const TreeFile& file : found)
        paths.push_back(file.path);
    CheckGameFilePaths(paths, problems);
    std::vector<SignedFile> files;
    for (const TreeFile& file : found) {
        const std::wstring pathW = Utf8ToWide(PathToUtf8(file.file));
        const std::string shown = EscapeForLog(file.path);
        FileDigests digests = ComputeFileDigests(pathW);
        SignedFile listed{.path = file.path,
                          .size = static_cast<std::uint32_t>(file.size),
                          .md5 = std::move(digests.md5),
                          .sha256 = std::move(digests.sha256)};
        // The size is taken again from the file read, so a file still being written is not
        // signed with the size it had while the folder was walked.
        if (file.size > kMaxFileSize)
            problems.push_back("game file " + shown + " is larger than 4294967295 bytes");
        else if (listed.md5.empty() || listed.sha256.empty() || GetFileSize(pathW) != file.size)
            problems.push_back("cannot read game file " + shown);
        else
            files.push_back(std::move(listed));
    }
    return files;
}

std::vector<std::string> SignedListDifferences(const std::vector<SignedFile>& signedFiles,
                                               const std::vector<SignedFile>& found) {
    const std::map<std::string, const SignedFile*> signedByPath = ByPath(signedFiles);
    const std::map<std::string, const SignedFile*> foundByPath = ByPath(found);
    std::vector<std::string> differences;
    for (const auto& [path, file] : foundByPath) {
        const auto it = signedByPath.find(path);
        const std::string shown = EscapeForLog(path);
        if (it == signedByPath.end())
            differences.push_back(shown + " is not signed");
        else if (it->second->size != file->size || it->second->md5 != file->md5 ||
                 (!file->sha256.empty() && it->second->sha256 != file->sha256))
            differences.push_back(shown + " changed since it was signed");
    }
    for (const auto& [path, file] : signedByPath) {
        if (!foundByPath.contains(path))
            differences.push_back(EscapeForLog(path) + " is signed but no longer served");
    }
    return differences;
}

}  // namespace ombrelta
