#include "tools/content/FileSignatureAudit.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include "tools/content/ContentName.h"
#include "tools/content/GameFileListing.h"
#include "verify/SignedFileList.h"

namespace ombrelta {
namespace {

std::optional<std::string> ReadListText(const std::filesystem::path& listFile) {
    std::error_code error;
    if (!std::filesystem::exists(listFile, error))
        return std::nullopt;
    std::ifstream in(listFile, std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void AuditListVersion(const SignedFileList& list, std::uint16_t newestPatch, ContentProblems& problems) {
    if (!list.version)
        problems.push_back(
            "ombrelta-files.sig has no version: launchers with a publickey refuse it; sign the "
            "files again");
    else if (*list.version != newestPatch)
        problems.push_back("ombrelta-files.sig is signed for version " + std::to_string(*list.version) +
                           ", the newest patch brings " + std::to_string(newestPatch) +
                           ": sign the files again");
}

bool SameAsSigned(const SignedFile* signedFile, const SignedFile& found) {
    return signedFile && signedFile->size == found.size && signedFile->md5 == found.md5 &&
           signedFile->sha256 == found.sha256;
}

void CheckListWithKey(const SignedFileList& list,
                      const PublicKeySet& publicKey,
                      std::uint16_t newestPatch,
                      ContentProblems& problems) {
    if (!publicKey.Verifies(
            std::span(reinterpret_cast<const std::uint8_t*>(list.signedText.data()), list.signedText.size()),
            list.signature))
        problems.push_back(
            "ombrelta-files.sig is not signed with this public key: a launcher with it refuses the "
            "game files");
    if (!list.version)
        problems.push_back("ombrelta-files.sig has no version: a launcher with this public key refuses it");
    else if (*list.version < newestPatch)
        problems.push_back("ombrelta-files.sig is for version " + std::to_string(*list.version) +
                           ", below the newest patch " + std::to_string(newestPatch) +
                           ": a launcher that installed it refuses the list");
}

}  // namespace

void AuditSignedFiles(const std::filesystem::path& filesDir, const FileCatalog& files, ContentProblems& warnings) {
    std::error_code error;
    if (files.Count() > 0 && !std::filesystem::exists(filesDir / kSignedFileListName, error))
        warnings.push_back("the game files are not signed: no ombrelta-files.sig");
}

void AuditSignedListAgainstFiles(const std::filesystem::path& filesDir,
                                 const FileCatalog& files,
                                 std::uint16_t newestPatch,
                                 ContentProblems& problems) {
    const std::optional<std::string> text = ReadListText(filesDir / kSignedFileListName);
    if (!text)
        return;
    // The digests hashed while loading; SHA-256 is left to the check with a key.
    std::vector<SignedFile> found;
    for (std::uint16_t id = 0; id < files.Count(); ++id) {
        const GameFile* file = files.Find(id);
        if (file->path != kSignedFileListName)
            found.push_back(SignedFile{.path = file->path, .size = file->size, .md5 = file->md5, .sha256 = {}});
    }
    const SignedFileListReading reading = ParseSignedFileList(*text);
    if (!reading.list)
        return problems.push_back("ombrelta-files.sig cannot be read: " + reading.fault);
    AuditListVersion(*reading.list, newestPatch, problems);
    for (const std::string& difference : SignedListDifferences(reading.list->files, found))
        problems.push_back("ombrelta-files.sig is stale: " + difference);
}

void CheckSignedFilesWithKey(const std::filesystem::path& filesDir,
                             const PublicKeySet& publicKey,
                             std::uint16_t newestPatch,
                             ContentProblems& problems) {
    ContentProblems unlisted;
    const std::vector<SignedFile> found = ListGameFilesToSign(filesDir, unlisted);
    const std::optional<std::string> text = ReadListText(filesDir / kSignedFileListName);
    if (!text) {
        problems.push_back(
            "ombrelta-files.sig is missing: a launcher with this public key refuses every file check");
        return;
    }
    const SignedFileListReading reading = ParseSignedFileList(*text);
    if (!reading.list)
        return problems.push_back("ombrelta-files.sig cannot be read: " + reading.fault);
    CheckListWithKey(*reading.list, publicKey, newestPatch, problems);
    for (const SignedFile& file : found) {
        if (!SameAsSigned(FindSignedFile(*reading.list, file.path), file))
            problems.push_back("game file " + EscapeForLog(file.path) +
                               " is not in ombrelta-files.sig as it is now: a launcher with this public key "
                               "refuses it");
    }
}

}  // namespace ombrelta
