#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/patch/P256Signer.h"

namespace ombrelta::patchkit {

/// What signing a patch came to.
struct SignOutcome {
    /// Reasons the archive was not signed; it is unchanged when there is any.
    std::vector<std::string> problems;
    /// The version the signature is for.
    std::uint16_t version = 0;
};

/// Signs a patch archive as the patch of version (by default the one its "version.dat" holds,
/// read as the launcher and the server read it): adds a root "ombrelta.sig" (PatchSignature)
/// and drops any it had. Refuses an archive that VerifyPatchArchive finds fault with for that
/// version. The other entries are copied raw, their bytes unchanged, into "ARCHIVE.partial",
/// which replaces the archive only once its new signature checks out. Throws
/// std::runtime_error (or filesystem_error) when the archive cannot be read or written; the
/// original is then unchanged and no partial file is left.
SignOutcome SignPatch(const std::filesystem::path& archive,
                      const P256Signer& signer,
                      std::optional<std::uint16_t> version);

}  // namespace ombrelta::patchkit
