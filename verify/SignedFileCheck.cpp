#include "verify/SignedFileCheck.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/FileSystem.h"
#include "common/Signature.h"
#include "verify/FileHash.h"
#include "verify/FileVerifier.h"

namespace ombrelta {
namespace {

// Far above what a hash list of 255 files can need; a bigger file is not read at all.
constexpr std::size_t kMaxSignedListSize = 1 << 20;

[[noreturn]] void Refuse(const std::string& path) {
    throw std::runtime_error("Signature check failed: " + path);
}

bool SignatureHolds(const SignedFileList& list, std::span<const std::uint8_t> publicKey) {
    return VerifyP256Signature(
        publicKey, std::span(reinterpret_cast<const std::uint8_t*>(list.signedText.data()), list.signedText.size()),
        list.signature);
}

// The list in the file of the entry, when it parses and its signature holds.
std::optional<SignedFileList> ReadVerifiedList(const std::string& text, std::span<const std::uint8_t> publicKey) {
    try {
        SignedFileList list = ParseSignedFileList(text);
        if (!SignatureHolds(list, publicKey))
            return std::nullopt;
        return list;
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

bool SignedAsListed(const SignedFileList& list, const HashEntry& entry) {
    const SignedFile* signedFile = FindSignedFile(list, entry.path);
    return signedFile && signedFile->size == entry.size && SameMd5Text(signedFile->md5, entry.hash);
}

}  // namespace

SignedFileCheck SignedFileCheck::Prepare(const std::vector<HashEntry>& entries,
                                         std::span<const std::uint8_t> publicKey,
                                         const std::function<void(const HashEntry&)>& repair) {
    const auto own = std::find_if(entries.begin(), entries.end(),
                                  [](const HashEntry& entry) { return entry.path == kSignedFileListName; });
    if (own == entries.end())
        Refuse(kSignedFileListName);
    const bool repaired = FileNeedsRepair(*own);
    if (repaired)
        repair(*own);
    std::optional<std::string> text = ReadSmallFile(EntryWidePath(*own), kMaxSignedListSize);
    std::optional<SignedFileList> list = text ? ReadVerifiedList(*text, publicKey) : std::nullopt;
    if (!list) {
        if (repaired)
            (void)DeleteFileAt(EntryWidePath(*own));
        Refuse(own->path);
    }
    for (const HashEntry& entry : entries) {
        if (&entry != &*own && !SignedAsListed(*list, entry))
            Refuse(entry.path);
    }
    return SignedFileCheck(std::move(*list), std::move(*text));
}

void SignedFileCheck::CheckRepaired(const HashEntry& entry, const std::wstring& localPath) const {
    const SignedFile* signedFile = FindSignedFile(list, entry.path);
    const bool intact = entry.path == kSignedFileListName
                            ? ReadSmallFile(localPath, kMaxSignedListSize) == listText
                            : signedFile && ComputeFileSha256(localPath) == signedFile->sha256;
    if (!intact)
        Refuse(entry.path);
}

}  // namespace ombrelta
