#include "verify/SignedFileCheck.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "verify/EntryFile.h"
#include "verify/FileHash.h"

namespace ombrelta {
namespace {

// Far above what a hash list of 255 files can need; a bigger file is not read at all.
constexpr std::size_t kMaxSignedListSize = 1 << 20;

[[noreturn]] void Refuse(const std::string& path) {
    throw std::runtime_error("Signature check failed: " + path);
}

bool SignatureHolds(const SignedFileList& list, const PublicKeySet& publicKey) {
    return publicKey.Verifies(
        std::span(reinterpret_cast<const std::uint8_t*>(list.signedText.data()), list.signedText.size()),
        list.signature);
}

// Why a parsed list is refused, or nothing.
std::optional<std::string> Refusal(const SignedFileList& list,
                                   const PublicKeySet& publicKey,
                                   std::uint16_t installedVersion) {
    if (!SignatureHolds(list, publicKey))
        return "its signature does not hold for the public key";
    if (!list.version)
        return std::string("it names no version");
    if (*list.version < installedVersion)
        return "it is for version " + std::to_string(*list.version) + ", below the installed " +
               std::to_string(installedVersion);
    return std::nullopt;
}

// The list in the file of the entry, when it parses, its signature holds and it is not older than
// the installation: the operator's signature alone would let an older list, replayed with its
// older files, take the game back. A list refused is noted with why.
std::optional<SignedFileList> ReadVerifiedList(const std::string& text,
                                               const PublicKeySet& publicKey,
                                               std::uint16_t installedVersion) {
    SignedFileListReading reading = ParseSignedFileList(text);
    std::optional<std::string> refusal =
        reading.list ? Refusal(*reading.list, publicKey, installedVersion) : reading.fault;
    if (!refusal)
        return std::move(reading.list);
    NoteFailure(std::string(kSignedFileListName) + " refused: " + *refusal);
    return std::nullopt;
}

bool SignedAsListed(const SignedFileList& list, const HashEntry& entry) {
    const SignedFile* signedFile = FindSignedFile(list, entry.path);
    return signedFile && signedFile->size == entry.size && SameMd5Text(signedFile->md5, entry.hash);
}

// The list in place before a repair, kept aside until the repaired one is found good: a list
// refused after its download (an older one replayed, a forged one) must not cost the good one.
class PreviousList {
public:
    explicit PreviousList(std::wstring path) : path(std::move(path)), aside(this->path + L".previous") {
        kept = PathExists(this->path) && RenameFileReplacing(this->path, aside);
    }
    ~PreviousList() {
        if (!kept)
            return;
        if (accepted)
            (void)DeleteFileAt(aside);
        else
            (void)RenameFileReplacing(aside, path);
    }
    PreviousList(const PreviousList&) = delete;
    PreviousList& operator=(const PreviousList&) = delete;
    void Accept() { accepted = true; }

private:
    std::wstring path;
    std::wstring aside;
    bool kept = false;
    bool accepted = false;
};

// Repairs the list when it needs it and reads it; nothing when it is refused, and then a
// repaired list is gone again and the one before it back in place.
std::optional<SignedFileList> RepairAndRead(const HashEntry& own,
                                            const PublicKeySet& publicKey,
                                            std::uint16_t installedVersion,
                                            const std::function<void(const HashEntry&)>& repair,
                                            std::string& text) {
    const std::wstring pathW = EntryWidePath(own);
    if (!FileNeedsRepair(own)) {
        text = ReadSmallFile(pathW, kMaxSignedListSize).value_or("");
        return ReadVerifiedList(text, publicKey, installedVersion);
    }
    PreviousList previous(pathW);
    repair(own);
    text = ReadSmallFile(pathW, kMaxSignedListSize).value_or("");
    std::optional<SignedFileList> list = ReadVerifiedList(text, publicKey, installedVersion);
    if (list)
        previous.Accept();
    else
        (void)DeleteFileAt(pathW);
    return list;
}

}  // namespace

SignedFileCheck SignedFileCheck::Prepare(const std::vector<HashEntry>& entries,
                                         const PublicKeySet& publicKey,
                                         std::uint16_t installedVersion,
                                         const std::function<void(const HashEntry&)>& repair) {
    const auto own = std::find_if(entries.begin(), entries.end(),
                                  [](const HashEntry& entry) { return entry.path == kSignedFileListName; });
    if (own == entries.end())
        Refuse(kSignedFileListName);
    std::string text;
    std::optional<SignedFileList> list = RepairAndRead(*own, publicKey, installedVersion, repair, text);
    if (!list)
        Refuse(own->path);
    for (const HashEntry& entry : entries) {
        if (&entry != &*own && !SignedAsListed(*list, entry))
            Refuse(entry.path);
    }
    return SignedFileCheck(std::move(*list), std::move(text));
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
