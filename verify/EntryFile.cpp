#include "verify/EntryFile.h"

#include <optional>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "verify/VerifiedFileCache.h"

namespace ombrelta {

std::wstring EntryWidePath(const HashEntry& entry) {
    std::wstring pathW = Utf8ToWide(entry.path);
    for (wchar_t& c : pathW) {
        if (c == L'/')
            c = L'\\';
    }
    return pathW;
}

bool FileNeedsRepair(const HashEntry& entry) {
    return FileNeedsRepairWith(
        entry,
        [&] {
            return HashedFile{
                .md5 = ComputeFileMd5(EntryWidePath(entry)), .stampBefore = std::nullopt, .blocks = {}};
        },
        nullptr);
}

bool FileNeedsRepairWith(const HashEntry& entry,
                         const std::function<HashedFile()>& hash,
                         VerifiedFileCache* cache) {
    const std::wstring pathW = EntryWidePath(entry);
    if (!PathExists(pathW))
        return true;
    // A file of another size needs repair whatever its digest, so it is not read at all.
    std::optional<std::uint64_t> size = GetFileSize(pathW);
    if (!size || *size != entry.size)
        return true;
    if (cache && cache->Trusts(entry, GetFileStamp(pathW)))
        return false;
    const HashedFile hashed = hash();
    if (cache)
        cache->RecordIfIntact(entry, hashed);
    return hashed.md5.empty() || !SameMd5Text(hashed.md5, entry.hash);
}

}  // namespace ombrelta
