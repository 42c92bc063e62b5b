#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/PublicKeySet.h"

namespace ombrelta {

/// What is wrong with a patch archive's signature.
struct SignatureWarning {
    /// True when the archive has no "ombrelta.sig" at all.
    bool notSigned = false;
    std::string text;
};

/// What is wrong with a patch archive's signature, judged without the public key: nothing when
/// its one "ombrelta.sig" is for version and records the manifest of the archive as it is now;
/// otherwise one line saying that it is unsigned, that its signature entry is unreadable or
/// doubled, for another version, or stale. Nothing also when the archive or an entry cannot be
/// read at all: VerifyPatchArchive reports that.
std::optional<SignatureWarning> PatchSignatureWarning(const std::filesystem::path& archive, std::uint16_t version);

/// True when a launcher with publicKey would accept the archive's signature as the patch of
/// version (CheckPatchSignature); false for anything else, an unreadable archive included.
bool SignedWith(const std::filesystem::path& archive, const PublicKeySet& publicKey, std::uint16_t version);

}  // namespace ombrelta
