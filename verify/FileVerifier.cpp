#include "verify/FileVerifier.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include "common/ComputerName.h"
#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/SafePath.h"
#include "common/Text.h"
#include "verify/BlockRepair.h"
#include "verify/EntryFile.h"
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
        skipped[i] =
            i < start || (cache && cache->Trusts(entries[i], GetFileStamp(EntryWidePath(entries[i]))));
    return skipped;
}

bool SameList(const std::vector<HashEntry>& a, const std::vector<HashEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const HashEntry& x, const HashEntry& y) {
        return x.id == y.id && x.path == y.path && x.hash == y.hash && x.size == y.size;
    });
}

// The server's list, asked for when the position holds none yet or asks for it again. Ids are
// places in the server's order, so a list that changed meanwhile starts the check over.
const std::vector<HashEntry>& Listed(LauncherApi& api,
                                     FileCheckPosition& at,
                                     VerifiedFileCache* cache,
                                     const FileCheckSettings& settings) {
    if (at.listed && !at.listAgain)
        return at.entries;
    std::vector<HashEntry> entries = at.answered ? std::move(*at.answered)
                                                 : api.GetHashList(GetComputerNameNarrow().value_or("UNKNOWN"));
    at.answered.reset();
    at.listAgain = false;
    if (at.listed && SameList(entries, at.entries))
        return at.entries;
    if (at.listed && settings.startingOver)
        settings.startingOver();
    at.entries = std::move(entries);
    at.listed = true;
    at.next = 0;
    if (cache)
        cache->KeepOnly(at.entries);
    return at.entries;
}

// With a key every repair goes through a part beside the file, renamed over it only once its
// signature holds, so nothing unsigned ever lies at the path, not even after a kill. A repair
// cut short by a lost connection is hashed too, whatever the window.
void Repair(LauncherApi& api,
            const HashEntry& entry,
            const ProgressCallback& progress,
            const FileCheckSettings& settings,
            const SignedFileCheck* signedCheck,
            bool wasCut) {
    if (settings.resume || settings.publicKey) {
        BesideRepair how{.pipeline = settings.pipeline, .keepPart = settings.resume, .mirrors = settings.mirrors};
        if (signedCheck)
            how.checkPart = [&](const std::wstring& partPath) {
                signedCheck->CheckRepaired(entry, partPath);
            };
        DownloadGameFileBeside(api, entry, progress, how);
    } else if (wasCut) {
        DownloadGameFileChecked(api, entry, progress, settings.pipeline, settings.mirrors);
    } else {
        DownloadGameFile(api, entry, progress, settings.pipeline, settings.mirrors);
    }
}

// Tells the events how a repair went; a repair that throws is cut, with its cause.
void Observed(const FileCheckSettings& settings, const HashEntry& entry, const std::function<void()>& repair) {
    Notify(settings.events, {.kind = ProgressEventKind::RepairStarted, .subject = entry.path, .total = entry.size});
    (void)TakeFailureNotes();
    try {
        repair();
    } catch (const std::exception& error) {
        std::string cause = error.what();
        if (const std::string notes = TakeFailureNotes(); !notes.empty())
            cause += ": " + notes;
        Notify(settings.events, {.kind = ProgressEventKind::RepairCut, .subject = entry.path, .detail = cause});
        throw;
    }
    // Causes noted on the way (a source that failed before another served) belong to no failure.
    (void)TakeFailureNotes();
    Notify(settings.events, {.kind = ProgressEventKind::RepairDone, .subject = entry.path, .total = entry.size});
}

// The signed list's guard when a key asks for one; its own repair is reported like any other.
std::optional<SignedFileCheck> SignedCheckFor(LauncherApi& api,
                                              const std::vector<HashEntry>& entries,
                                              const ProgressCallback& progress,
                                              const FileCheckSettings& settings) {
    if (!settings.publicKey)
        return std::nullopt;
    return SignedFileCheck::Prepare(entries, *settings.publicKey, settings.installedVersion,
                                    [&](const HashEntry& entry) {
                                        if (progress)
                                            progress(L"Repairing " + EntryWidePath(entry), 0);
                                        Observed(settings, entry, [&] {
                                            Repair(api, entry, progress, settings, nullptr, false);
                                        });
                                    });
}

// Only the blocks that differ, when the file has a map and the listed size; false leaves the
// file to a whole repair.
bool RepairBlocks(LauncherApi& api,
                  const HashEntry& entry,
                  std::vector<BlockDigest> blocks,
                  const ProgressCallback& progress,
                  const FileCheckSettings& settings,
                  const SignedFileCheck* signedCheck,
                  FileCheckPosition& at) {
    if (!settings.blockRepair || !BlockRepairApplies(entry))
        return false;
    BlockRepairSources sources{.mirrors = settings.mirrors,
                               .serverLacksMaps = &at.serverLacksBlockMaps,
                               .keepPart = settings.resume,
                               .pipeline = settings.pipeline,
                               .checkPart = nullptr};
    if (signedCheck)
        sources.checkPart = [&](const std::wstring& partPath) {
            signedCheck->CheckRepaired(entry, partPath);
        };
    return RepairByBlocks(api, entry, std::move(blocks), progress, sources);
}

// The position remembers the entry under repair until its download is done, so that a lost
// connection leaves its path behind.
void RepairEntry(LauncherApi& api,
                 const HashEntry& entry,
                 std::vector<BlockDigest> blocks,
                 const ProgressCallback& progress,
                 const FileCheckSettings& settings,
                 const std::optional<SignedFileCheck>& signedCheck,
                 FileCheckPosition& at) {
    const bool wasCut = at.interruptedRepair == entry.path;
    at.interruptedRepair = entry.path;
    const SignedFileCheck* check = signedCheck ? &*signedCheck : nullptr;
    Observed(settings, entry, [&] {
        if (!RepairBlocks(api, entry, std::move(blocks), progress, settings, check, at))
            Repair(api, entry, progress, settings, check, wasCut);
    });
    at.interruptedRepair.reset();
}

bool CheckAndRepairAll(LauncherApi& api,
                       const ProgressCallback& progress,
                       VerifiedFileCache* cache,
                       const FileCheckSettings& settings) {
    FileCheckPosition fresh;
    FileCheckPosition& at = settings.position ? *settings.position : fresh;
    const std::vector<HashEntry>& entries = Listed(api, at, cache, settings);
    const std::optional<SignedFileCheck> signedCheck = SignedCheckFor(api, entries, progress, settings);
    const std::size_t count = entries.size();
    const std::size_t end = FirstUnsafeEntry(entries);
    HashAhead ahead(entries, end, settings.hashThreads.value_or(HashAheadThreadCount()),
                    SkippedAhead(entries, std::min(at.next, end), end, cache), settings.blockRepair);
    for (std::size_t i = at.next; i < count; ++i) {
        const HashEntry& entry = entries[i];
        RequireSafeEntryPath(entry.path);
        ahead.Reached(i);
        const std::wstring pathW = EntryWidePath(entry);
        // The block digests of the reading that found the file damaged, for a repair by block.
        std::vector<BlockDigest> blocks;
        if (FileNeedsRepairWith(
                entry,
                [&] {
                    HashedFile hashed = ahead.Digest(i);
                    blocks = std::move(hashed.blocks);
                    return hashed;
                },
                cache)) {
            if (progress)
                progress(L"Repairing " + pathW, 0);
            // Recorded again only once a reading after the download finds it intact.
            if (cache)
                cache->Forget(entry);
            HashAhead::RewriteScope rewrite(ahead);
            RepairEntry(api, entry, std::move(blocks), progress, settings, signedCheck, at);
        }
        at.next = i + 1;
        Notify(settings.events, {.kind = ProgressEventKind::FileChecked, .subject = entry.path, .total = entry.size});
        if (progress)
            progress(L"Checking " + pathW,
                     static_cast<std::int32_t>(at.next * 100) / static_cast<std::int32_t>(count));
    }
    return true;
}

// A check that fails outside a repair (a refused signed list) is told to the events with the
// causes noted for it; a repair that fails has told its own.
bool CheckTellingFailure(LauncherApi& api,
                         const ProgressCallback& progress,
                         VerifiedFileCache* cache,
                         const FileCheckSettings& settings) {
    FailureNotes notes;
    try {
        return CheckAndRepairAll(api, progress, cache, settings);
    } catch (const std::exception& error) {
        if (const std::string causes = TakeFailureNotes(); !causes.empty())
            Notify(settings.events,
                   {.kind = ProgressEventKind::Failed, .detail = std::string(error.what()) + ": " + causes});
        throw;
    }
}

}  // namespace

bool VerifyAndRepairFiles(LauncherApi& api, ProgressCallback progress) {
    return CheckTellingFailure(api, progress, nullptr, {});
}

bool VerifyAndRepairFiles(LauncherApi& api,
                          const ProgressCallback& progress,
                          VerifiedFileCache* cache,
                          const FileCheckSettings& settings) {
    return CheckTellingFailure(api, progress, cache, settings);
}

}  // namespace ombrelta
