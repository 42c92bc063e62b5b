#include "tools/patch/PatchSigner.h"

#include <stdexcept>
#include <system_error>

#include "patch/PatchManifest.h"
#include "patch/PatchSignature.h"
#include "patch/ZipReader.h"
#include "tools/content/PatchArchiveCheck.h"
#include "tools/content/PathText.h"
#include "tools/patch/ZipWriter.h"

namespace ombrelta::patchkit {
namespace {

// The archive's entries but its signature, and a new signature over them.
void WriteSigned(const std::filesystem::path& archive,
                 const std::filesystem::path& target,
                 const P256Signer& signer,
                 std::uint16_t version) {
    ZipReader reader;
    if (!reader.Open(PathToUtf8(archive)))
        throw std::runtime_error(PathToUtf8(archive) + ": not a readable zip");
    const std::optional<std::vector<std::uint8_t>> manifest = BuildPatchManifest(reader, version);
    const std::optional<Sha256Digest> digest = manifest ? Sha256Hasher::Of(*manifest) : std::nullopt;
    if (!digest)
        throw std::runtime_error(PathToUtf8(archive) + ": its entries cannot be read");
    const PatchSignature signature{.version = version, .manifestDigest = *digest, .signature = signer.Sign(*manifest)};
    ZipWriter writer(target);
    writer.CopyEntries(archive, [&](std::uint32_t i) { return !IsPatchSignatureEntry(reader, i); });
    writer.AddText("ombrelta.sig", FormatPatchSignature(signature));
    writer.Close();
}

}  // namespace

SignOutcome SignPatch(const std::filesystem::path& archive,
                      const P256Signer& signer,
                      std::optional<std::uint16_t> version) {
    SignOutcome outcome;
    if (version) {
        outcome.problems = VerifyPatchArchive(archive, *version);
    } else {
        ArchiveInspection inspection = InspectPatchArchive(archive);
        outcome.problems = std::move(inspection.problems);
        version = inspection.version;
    }
    if (!outcome.problems.empty() || !version)
        return outcome;
    outcome.version = *version;
    std::filesystem::path partial = archive;
    partial += ".partial";
    try {
        WriteSigned(archive, partial, signer, *version);
        ZipReader reader;
        if (!reader.Open(PathToUtf8(partial)) || !CheckPatchSignature(reader, signer.PublicKey(), *version))
            throw std::runtime_error(PathToUtf8(partial) + ": the signed archive does not check out");
        reader.Close();
        std::filesystem::rename(partial, archive);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw;
    }
    return outcome;
}

}  // namespace ombrelta::patchkit
