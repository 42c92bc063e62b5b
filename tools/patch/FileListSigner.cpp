#include "tools/patch/FileListSigner.h"

#include <fstream>
#include <stdexcept>
#include <system_error>

#include "common/AsciiCase.h"
#include "tools/patch/GameFileListing.h"
#include "tools/patch/PatchArchiveCheck.h"
#include "tools/server/PathText.h"
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
            throw std::runtime_error("cannot write " + server::PathToUtf8(temporary));
        }
    }
    std::error_code error;
    fs::rename(temporary, file, error);
    if (error) {
        fs::remove(temporary, error);
        throw std::runtime_error("cannot replace " + server::PathToUtf8(file));
    }
}

}  // namespace

FileSigningOutcome SignGameFiles(const fs::path& filesDir, const P256Signer& signer, std::uint16_t version) {
    FileSigningOutcome outcome;
    std::error_code error;
    if (!fs::is_directory(filesDir, error)) {
        outcome.problems.push_back("not a folder: " + server::PathToUtf8(filesDir));
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
    std::optional<std::uint16_t> newest;
    std::error_code error;
    for (fs::directory_iterator it(patchesDir, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (LowerAsciiLetters(it->path().extension().string()) != ".zip" || !it->is_regular_file(error))
            continue;
        const std::optional<std::uint16_t> version = InspectPatchArchive(it->path()).version;
        if (version && *version > 0 && (!newest || *version > *newest))
            newest = version;
    }
    return newest;
}

}  // namespace ombrelta::patchkit
