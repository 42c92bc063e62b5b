#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Pipeline.h"
#include "common/ProgressCallback.h"
#include "common/ProgressEvents.h"
#include "common/PublicKeySet.h"
#include "protocol/HashEntry.h"
#include "protocol/LauncherApi.h"
#include "protocol/MirrorSet.h"
#include "verify/EntryFile.h"

namespace ombrelta {

class VerifiedFileCache;

/// Where a file check stands, so that one cut short by a lost connection goes on with the
/// entries not yet done once connected again, as long as the server's list is the same.
struct FileCheckPosition {
    /// Whether entries holds the server's list.
    bool listed = false;
    std::vector<HashEntry> entries;
    /// The first entry not yet done.
    std::size_t next = 0;
    /// Set after a reconnection: the list is asked for again before anything else; the check
    /// goes on only when it is the same, and otherwise starts over from its first entry.
    bool listAgain = false;
    /// A list the server has just sent on this connection, used instead of asking for it when
    /// the list is asked for next.
    std::optional<std::vector<HashEntry>> answered;
    /// The path of the entry whose repair did not end; its next download is hashed.
    std::optional<std::string> interruptedRepair;
    /// Set once the server closed the connection on a block map request: it is not asked again.
    bool serverLacksBlockMaps = false;
};

/// How a file check downloads, and where it starts.
struct FileCheckSettings {
    /// Chunk requests each download may keep in flight (`pipeline`, see DownloadGameFile).
    Pipeline pipeline = 1;
    /// Each repair keeps its part beside the file (see DownloadGameFileBeside), so an interrupted
    /// one keeps its progress.
    bool resume = false;
    /// When set, the list is asked for only while the position holds none or asks for it again,
    /// the check starts at its next entry and moves it past each entry done.
    FileCheckPosition* position = nullptr;
    /// Called when a list asked for again differs, before the check starts over.
    std::function<void()> startingOver = nullptr;
    /// When set, the check holds the hash list to "ombrelta-files.sig" signed with one of these
    /// keys (see SignedFileCheck) before it repairs anything, and every repair to it before the
    /// repair replaces the file (each goes through a part beside it).
    std::optional<PublicKeySet> publicKey = std::nullopt;
    /// The version "version.dat" holds: with a key, a signed list for an older one is refused.
    std::uint16_t installedVersion = 0;
    /// When set, repairs take their bytes from these mirrors first (see DownloadGameFile).
    MirrorSet* mirrors = nullptr;
    /// Threads hashing files ahead of the check (0: the checking thread hashes every file
    /// itself); nothing: HashAheadThreadCount().
    std::optional<unsigned> hashThreads = std::nullopt;
    /// Told of each repair (RepairStarted, then RepairDone or RepairCut with its cause), of
    /// each entry whose check is finished (FileChecked), beside the reports, and of a failure
    /// outside a repair whose causes were noted (Failed: the exception's text and the causes).
    ProgressSink events = nullptr;
    /// A damaged file of 4 MiB or more that has the listed size is repaired by block first
    /// (`blockrepair`, see RepairByBlocks), and whole only when that cannot be done.
    bool blockRepair = false;
};

/// Checks every file of the server's hash list in order and downloads again each missing or
/// differing one, reporting "Checking " / "Repairing " with the path. True when the whole list
/// was gone through; every failure throws std::runtime_error (the request's or download's own
/// text, or "Unsafe file path: " and the path for an entry that would leave the working
/// directory), leaving earlier repairs in place and later entries untouched.
bool VerifyAndRepairFiles(LauncherApi& api, ProgressCallback progress);

/// VerifyAndRepairFiles as settings say, trusting the files the cache (when given) vouches for
/// without reading them and recording in it every file it reads and finds intact; the cache
/// keeps only listed paths. With a public key, also "Signature check failed: " and the path of
/// the entry refused.
bool VerifyAndRepairFiles(LauncherApi& api,
                          const ProgressCallback& progress,
                          VerifiedFileCache* cache,
                          const FileCheckSettings& settings);

}  // namespace ombrelta
