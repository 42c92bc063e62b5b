#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/patch/P256Signer.h"

namespace ombrelta::patchkit {

/// What signing a files folder did: the files signed, or the problems that kept it from writing.
struct FileSigningOutcome {
    std::size_t fileCount = 0;
    std::vector<std::string> problems;
};

/// Writes "ombrelta-files.sig" into filesDir: the version, then every other game file as
/// ListGameFilesToSign finds it, signed by signer. The file is written beside its place and
/// renamed over it, so a server never serves half a list. With problems nothing is written; a
/// write failure throws std::runtime_error and leaves the old list as it was.
FileSigningOutcome SignGameFiles(const std::filesystem::path& filesDir,
                                 const P256Signer& signer,
                                 std::uint16_t version);

/// The newest version the server offers from patchesDir (PatchCatalog: each archive's
/// "version.dat" read as the launcher reads it); nothing when it offers none.
std::optional<std::uint16_t> NewestPatchVersion(const std::filesystem::path& patchesDir);

}  // namespace ombrelta::patchkit
