#include "verify/FileVerifier.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "common/ComputerName.h"
#include "common/FileSystem.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "verify/FileHash.h"
#include "verify/GameFileDownload.h"
#include "verify/HashAhead.h"
#include "verify/SignedFileCheck.h"
#include "verify/VerifiedFileCache.h"

namespace ombrelta {
namespace {

// The run ends at the first unsafe entry, so nothing from there on is hashed ahead.
std::size_t FirstUnsafeEntry(const std::vector<HashEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!IsSafeEntryPath(entries[i].path))
            return i;
    }
    return entries.size();
}

// FileNeedsRepair reading the file through hash(), only when its size matches and the cache
// (if any) does not vouch for it; the cache learns what the reading found.
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

// Entries done before a reconnection, and files the cache vouches for, are not hashed ahead.
// The checking thread asks the cache again when it reaches them, since an earlier repair may
// have rewritten one.
std::vector<bool> SkippedAhead(const std::vector<HashEntry>& entries,
                               std::size_t start,
                               std::size_t end,
                               const VerifiedFileCache* cache) {
    std::vector<bool> skipped;
    if (!cache && start == 0)
        return skipped;
    skipped.resize(end);
    for (std::size_t i = 0; i < end; ++i)
        skipped[i] = i < start || (cache && cache->Trusts(entries[i], GetFileStamp(EntryWidePath(entries[i]))));
    return skipped;
}

// The server's list, asked for only when the position holds none yet.
const std::vector<HashEntry>& Listed(LauncherApi& api, FileCheckPosition& at, VerifiedFileCache* cache) {
    if (!at.listed) {
        const std::string clientName = GetComputerNameNarrow().value_or("UNKNOWN");
        at.entries = api.GetHashList(clientName);
        at.listed = true;
        at.next = 0;
        if (cache)
            cache->KeepOnly(at.entries);
    }
    return at.entries;
}

void Repair(LauncherApi& api, const HashEntry& entry, const ProgressCallback& progress, const FileCheckSettings& settings) {
    if (settings.resume)
        DownloadGameFileKept(api, entry, progress, settings.chunkWindow);
    else
        DownloadGameFile(api, entry, progress, settings.chunkWindow);
}

// Under a signature nothing the download wrote may stay when it fails: a kept download only
// replaces the file once complete, a plain one writes over it.
void RepairOrDelete(LauncherApi& api, const HashEntry& entry, const ProgressCallback& progress,
                    const FileCheckSettings& settings) {
    try {
        Repair(api, entry, progress, settings);
    } catch (...) {
        if (!settings.resume)
            (void)DeleteFileAt(EntryWidePath(entry));
        throw;
    }
}

// The signed list's guard when a key asks for one; its own repair is reported like any other.
std::optional<SignedFileCheck> SignedCheckFor(LauncherApi& api, const std::vector<HashEntry>& entries,
                                              const ProgressCallback& progress, const FileCheckSettings& settings) {
    if (!settings.publicKey)
        return std::nullopt;
    return SignedFileCheck::Prepare(entries, *settings.publicKey, settings.installedVersion,
                                    [&](const HashEntry& entry) {
                                        if (progress)
                                            progress(L"Repairing " + EntryWidePath(entry), 0);
                                        RepairOrDelete(api, entry, progress, settings);
                                    });
}

void RepairAsSigned(LauncherApi& api, const HashEntry& entry, const ProgressCallback& progress,
                    const FileCheckSettings& settings, const std::optional<SignedFileCheck>& signedCheck) {
    if (!signedCheck) {
        Repair(api, entry, progress, settings);
        return;
    }
    RepairOrDelete(api, entry, progress, settings);
    signedCheck->CheckRepaired(entry);
}

bool CheckAndRepairAll(LauncherApi& api, const ProgressCallback& progress, VerifiedFileCache* cache,
                       const FileCheckSettings& settings) {
    FileCheckPosition fresh;
    FileCheckPosition& at = settings.position ? *settings.position : fresh;
    const std::vector<HashEntry>& entries = Listed(api, at, cache);
    const std::optional<SignedFileCheck> signedCheck = SignedCheckFor(api, entries, progress, settings);
    const std::size_t count = entries.size();
    const std::size_t end = FirstUnsafeEntry(entries);
    HashAhead ahead(entries, end, HashAheadThreadCount(), SkippedAhead(entries, std::min(at.next, end), end, cache));
    for (std::size_t i = at.next; i < count; ++i) {
        const HashEntry& entry = entries[i];
        RequireSafeEntryPath(entry.path);
        ahead.Reached(i);
        const std::wstring pathW = EntryWidePath(entry);
        if (FileNeedsRepairWith(
                entry, [&] { return ahead.Digest(i); }, cache)) {
            if (progress)
                progress(L"Repairing " + pathW, 0);
            // Recorded again only once a reading after the download finds it intact.
            if (cache)
                cache->Forget(entry);
            HashAhead::RewriteScope rewrite(ahead);
            RepairAsSigned(api, entry, progress, settings, signedCheck);
        }
        at.next = i + 1;
        if (progress)
            progress(L"Checking " + pathW, static_cast<std::int32_t>(at.next * 100) / static_cast<std::int32_t>(count));
    }
    return true;
}

}  // namespace

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
        [&] { return HashedFile{.md5 = ComputeFileMd5(EntryWidePath(entry)), .stampBefore = std::nullopt}; },
        nullptr);
}

bool VerifyAndRepairFiles(LauncherApi& api, ProgressCallback progress, int chunkWindow) {
    return CheckAndRepairAll(api, progress, nullptr, {.chunkWindow = chunkWindow});
}

bool VerifyAndRepairFiles(LauncherApi& api, ProgressCallback progress, VerifiedFileCache& cache, int chunkWindow) {
    return CheckAndRepairAll(api, progress, &cache, {.chunkWindow = chunkWindow});
}

bool VerifyAndRepairFiles(LauncherApi& api, const ProgressCallback& progress, VerifiedFileCache* cache,
                          const FileCheckSettings& settings) {
    return CheckAndRepairAll(api, progress, cache, settings);
}

}  // namespace ombrelta
