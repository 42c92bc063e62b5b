#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/PublicKeySet.h"

namespace ombrelta {

/// What to do with an entry "PATH.ombrelta-delta" (see DeltaHeader.h).
enum class DeltaEntries {
    /// Written as a file of that name, like any other entry.
    AsFiles,
    /// Applied to PATH (ApplyDeltaEntry): a base that is missing or differs, or a result that
    /// cannot be mapped, leaves PATH as it is and the entry is skipped; a faulty delta, or a PATH
    /// that is empty, ends in a separator or is the root "version.dat", fails the extraction.
    Applied,
};

/// Extracts every entry of a zip archive below destination, in central-directory order, except
/// that the root "version.dat" is written last and only when every other entry succeeded.
/// Each entry is written beside its target and replaces it only once its size and CRC-32 (a
/// delta's result: size and SHA-256) are found good, so a failed entry leaves its target as it
/// was. A file in use (a running program) is moved aside to "NAME.old" and the entry put in its
/// place; when movedAside is given, the entry's name ('\' separated, relative to destination)
/// is appended to it.
/// False at the first failure (missing archive, unreadable archive, unsafe or undecodable
/// entry name, write or check failure); entries written before it stay.
bool ExtractArchive(const std::wstring& archivePath,
                    const std::wstring& destination,
                    std::vector<std::wstring>* movedAside = nullptr,
                    DeltaEntries deltas = DeltaEntries::AsFiles);

/// What a signed patch must prove before anything of it is written.
struct RequiredSignature {
    /// The operator's P-256 public keys; a set that is not valid fails every archive.
    PublicKeySet publicKey;
    /// The version the patch was asked for.
    std::uint16_t version = 0;
};

/// How a signed extraction ended.
enum class SignedExtraction {
    Extracted,
    /// Nothing was written: the archive has no valid "ombrelta.sig" for the key and version.
    SignatureRefused,
    /// A failure of ExtractArchive after the signature was found good.
    Failed,
};

/// ExtractArchive for a signed patch: before anything is written (the destination included),
/// the archive's own entries must match the signature of its one root "ombrelta.sig"
/// (CheckPatchSignature); that entry is then left out. Every entry's data must still match its
/// size and CRC-32 while it is extracted.
SignedExtraction ExtractSignedArchive(const std::wstring& archivePath,
                                      const std::wstring& destination,
                                      const RequiredSignature& required,
                                      std::vector<std::wstring>* movedAside = nullptr,
                                      DeltaEntries deltas = DeltaEntries::AsFiles);

}  // namespace ombrelta
