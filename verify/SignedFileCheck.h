#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/PublicKeySet.h"
#include "protocol/HashEntry.h"
#include "verify/SignedFileList.h"

namespace ombrelta {

/// The file check's guard for a launcher that holds the operator's public key: the hash list
/// may only name files the operator signed, and every repaired file must be the one signed.
/// Every failure throws std::runtime_error "Signature check failed: " and the entry's path as
/// received ("ombrelta-files.sig" when the list lacks that file).
class SignedFileCheck {
public:
    /// Repairs the signed list's own entry with repair() when it needs it, checks its signature
    /// under publicKey (a key set that is not valid fails it) and refuses it when it has no
    /// version or one below installedVersion (an older list replayed), then refuses the first
    /// entry that the list does not hold with the same path, size and MD5. A signed list that
    /// was repaired and fails is deleted, and the one it replaced is put back.
    static SignedFileCheck Prepare(const std::vector<HashEntry>& entries,
                                   const PublicKeySet& publicKey,
                                   std::uint16_t installedVersion,
                                   const std::function<void(const HashEntry&)>& repair);

    /// Checks the bytes downloaded for entry, at localPath, against the signed list (their
    /// SHA-256; the list itself by its bytes); throws when they differ.
    void CheckRepaired(const HashEntry& entry, const std::wstring& localPath) const;

private:
    SignedFileCheck(SignedFileList list, std::string listText)
        : list(std::move(list)), listText(std::move(listText)) {}
    SignedFileList list;
    std::string listText;  // the whole file, signature line and all
};

}  // namespace ombrelta
