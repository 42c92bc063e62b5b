#pragma once

#include <cstdint>

#include "common/FileSystem.h"
#include "common/ProgressCallback.h"
#include "protocol/HashEntry.h"
#include "protocol/LauncherApi.h"

namespace ombrelta {

/// Downloads one game file chunk by chunk over its local copy (relative to the working
/// directory). True once the last chunk is written; every failure throws std::runtime_error:
/// "Unsafe file path: ", "Cannot create local file: ", "Failed writing file: ",
/// "Server returned empty chunk: " or "File too large: ", each followed by the entry's path as
/// received, or the request's own error. A failed download leaves the bytes written so far.
bool DownloadGameFile(LauncherApi& api, const HashEntry& entry, ProgressCallback progress);

/// Where the chunks of one game file come from. The chunk fetched last is held until written,
/// so the download loop only ever sees its length.
class GameFileChunkSource {
public:
    virtual ~GameFileChunkSource() = default;
    /// Fetches the chunk that starts at offset and returns its length in bytes; sets last when
    /// it is the file's last chunk. Throws std::runtime_error on failure.
    virtual std::uint64_t Fetch(std::uint32_t offset, bool& last) = 0;
    /// Appends the chunk fetched last to the file; false when writing fails.
    virtual bool WriteTo(File& file) = 0;
};

/// The download loop of DownloadGameFile over any chunk source; same results and failures.
bool DownloadGameFileFrom(const HashEntry& entry,
                          GameFileChunkSource& source,
                          const ProgressCallback& progress);

}  // namespace ombrelta
