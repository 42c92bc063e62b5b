#include "tools/content/PatchSignatureAudit.h"

#include "patch/PatchManifest.h"
#include "patch/PatchSignature.h"
#include "patch/ZipReader.h"
#include "tools/content/PathText.h"

namespace ombrelta {

std::optional<SignatureWarning> PatchSignatureWarning(const std::filesystem::path& archive, std::uint16_t version) {
    ZipReader reader;
    if (!reader.Open(PathToUtf8(archive)))
        return std::nullopt;
    bool hasSignature = false;
    for (std::uint32_t i = 0; i < reader.EntryCount() && !hasSignature; ++i)
        hasSignature = IsPatchSignatureEntry(reader, i);
    if (!hasSignature)
        return SignatureWarning{.notSigned = true,
                                .text = "not signed (no ombrelta.sig): launchers with a publickey refuse it"};
    const std::optional<PatchSignature> signature = ReadPatchSignature(reader);
    if (!signature)
        return SignatureWarning{.text = "ombrelta.sig is unreadable, malformed or not the only one: sign it again"};
    if (signature->version != version)
        return SignatureWarning{.text = "ombrelta.sig is for version " + std::to_string(signature->version) +
                                        ", not " + std::to_string(version) + ": sign it again"};
    const std::optional<std::vector<std::uint8_t>> manifest = BuildPatchManifest(reader, version);
    if (!manifest)
        return std::nullopt;
    if (Sha256Hasher::Of(*manifest) != signature->manifestDigest)
        return SignatureWarning{.text = "ombrelta.sig is stale: the archive changed after it was signed; sign it again"};
    return std::nullopt;
}

bool SignedWith(const std::filesystem::path& archive, const PublicKeySet& publicKey, std::uint16_t version) {
    ZipReader reader;
    return reader.Open(PathToUtf8(archive)) && CheckPatchSignature(reader, publicKey, version);
}

}  // namespace ombrelta
