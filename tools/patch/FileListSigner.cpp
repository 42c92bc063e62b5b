#include "tools/patch/FileListSigner.h"

#include <fstream>
#include <stdexcept>
#include <system_error>

#include "tools/content/GameFileListing.h"
#include "tools/content/PatchCatalog.h"
#include "tools/content/PathText.h"
#include "verify/SignedFileList.h"

namespace ombrelta::patchkit {
namespace {

namespace fs = std::filesystem;

void WriteReplacing(const fs::path& file, const std::string& text) {
    fs::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        std::error_code error;
        if (!out) {
            fs::remove(temporary, error);
            throw std::runtime_error("cannot write " + PathToUtf8(temporary));
        }
    }
    std::error_code error;
    fs::rename(temporary, file, error);
    if (error) {
        fs::remove(temporary, error);
        throw std::runtime_error("cannot replace " + PathToUtf8(file));
    }
}

}  // namespace

FileSigningOutcome SignGameFiles(const fs::path& filesDir, const P256Signer& signer, std::uint16_t version) {
    FileSigningOutcome outcome;
    std::error_code error;
    if (!fs::is_directory(filesDir, error)) {
        outcome.problems.push_back("not a folder: " + PathToUtf8(filesDir));
        return outcome;
    }
    const std::vector<SignedFile> files = ListGameFilesToSign(filesDir, outcome.problems);
    if (!outcome.problems.empty())
        return outcome;
    const std::string signedText = FormatSignedFiles(files, version);
    const std::vector<std::uint8_t> signature = signer.Sign(
        std::span(reinterpret_cast<const std::uint8_t*>(signedText.data()), signedText.size()));
    WriteReplacing(filesDir / kSignedFileListName, AppendSignatureLine(signedText, signature));
    outcome.fileCount = files.size();
    return outcome;
}

std::optional<std::uint16_t> NewestPatchVersion(const fs::path& patchesDir) {
    // Faults of the patches are the server check's to report; the version is the one it offers last.
    ContentProblems ignored;
    const std::uint16_t newest = PatchCatalog::Load(patchesDir, ignored).NewestVersion();
    return newest == 0 ? std::nullopt : std::optional(newest);
}

}  // namespace ombrelta::patchkit
