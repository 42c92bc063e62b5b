#pragma once

#include <filesystem>

#include "common/PublicKeySet.h"

#include "tools/content/ContentTree.h"
#include "tools/content/PatchCatalog.h"
#include "tools/content/FileCatalog.h"

namespace ombrelta {

/// The deep check of --check: every patch on offer read as the launcher will use it (the checks
/// of "ombrelta-patch verify", against the version the server announces for it). Adds a line to
/// problems for each fault; patchDir is where the catalog was loaded.
void AuditPatches(const PatchCatalog& patches, const std::filesystem::path& patchDir, ContentProblems& problems);

/// The signature part of --check, as warnings: the server cannot know whether its launchers
/// have a publickey. One line when no patch is signed at all; otherwise one for each patch that
/// is unsigned, or whose "ombrelta.sig" is unreadable, for another version or stale
/// (PatchSignatureWarning).
void AuditPatchSignatures(const PatchCatalog& patches, const std::filesystem::path& patchDir, ContentProblems& warnings);

/// The patch part of --check --public-key: a problem for each patch that a launcher with
/// publicKey refuses, since it is not signed for its version with one of the keys.
void CheckPatchSignaturesWithKey(const PatchCatalog& patches,
                                 const std::filesystem::path& patchDir,
                                 const PublicKeySet& publicKey,
                                 ContentProblems& problems);

/// The delta part of --check, as warnings: one line for each delta entry whose file is not among
/// the game files, since a launcher whose copy differs from the delta's base then has no repair
/// to fall back on.
void AuditDeltaEntries(const PatchCatalog& patches, const std::filesystem::path& patchDir, const FileCatalog& files,
                       ContentProblems& warnings);

}  // namespace ombrelta
