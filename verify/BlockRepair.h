#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/BlockMap.h"
#include "common/Pipeline.h"
#include "common/ProgressCallback.h"
#include "protocol/HashEntry.h"
#include "protocol/LauncherApi.h"
#include "protocol/MirrorSet.h"

namespace ombrelta {

/// Where a repair by block gets its map and bytes, and how it treats the result.
struct BlockRepairSources {
    /// When set, the map and the bytes come from these mirrors first (BASE/blocks/MD5,
    /// BASE/md5/MD5), then from the server.
    MirrorSet* mirrors = nullptr;
    /// Set once the server lost the connection on a map request (a server older than block
    /// maps closes it): the server is not asked for a map again while it stays set.
    bool* serverLacksMaps = nullptr;
    /// A part for a continued download (`resume`) is left alone, and the file repaired whole.
    bool keepPart = false;
    /// Chunk requests kept in flight within a block from the server (`pipeline`).
    Pipeline pipeline = 1;
    /// Called with the assembled part, whose size and MD5 are the entry's, before it replaces
    /// the file; it throws to refuse it.
    std::function<void(const std::wstring& partPath)> checkPart = nullptr;
};

/// Whether a repair by block may be tried for the entry: its file has a block map and the local
/// file exists with the listed size.
bool BlockRepairApplies(const HashEntry& entry);

/// Repairs the entry's local file by fetching only the 1 MiB blocks whose digest differs from the
/// file's block map, given the local blocks' digests (read from the file when empty). The blocks
/// are assembled in PATH + ".download", checked whole (size, MD5, checkPart) and renamed over
/// the file, reporting "Repairing " and the path after each chunk with the percent of the bytes
/// to fetch. False, with the file and no part left, when the file must be repaired whole: no
/// usable map (none, a malformed one, or one for another size or MD5), nothing to fetch, no room,
/// a kept part, or a result that fails its check or cannot take the file's place. Throws the
/// chunk requests' errors ("Server returned empty chunk: " and the path among them) and, once
/// it has set serverLacksMaps, the error of a map request that lost the connection.
bool RepairByBlocks(LauncherApi& api,
                    const HashEntry& entry,
                    std::vector<BlockDigest> localBlocks,
                    const ProgressCallback& progress,
                    const BlockRepairSources& sources);

}  // namespace ombrelta
