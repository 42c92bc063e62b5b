#pragma once

#include <functional>
#include <string>

#include "common/Pipeline.h"
#include "common/ProgressCallback.h"
#include "protocol/ChunkLoop.h"
#include "protocol/HashEntry.h"
#include "protocol/LauncherApi.h"
#include "protocol/MirrorSet.h"

namespace ombrelta {

/// Downloads one game file chunk by chunk over its local copy (relative to the working
/// directory), with up to pipeline chunk requests in flight. True once the last chunk is written
/// and the file closed; every failure throws std::runtime_error: "Unsafe file path: ",
/// "Not enough disk space: " (before the first request, when the volume's known free space and
/// the file replaced cannot hold the entry's size), "Cannot create local file: ", "Failed
/// writing file: ", "Server returned empty chunk: " or "File too large: ", each followed by the
/// entry's path as received, or the request's own error. A failed download leaves the bytes
/// written so far. With a pipeline that asks ahead the bytes written are hashed too, and a file
/// that differs from the entry in size or digest throws "Downloaded file differs from the
/// server's list: " and the path.
/// With mirrors, the bytes come from them first (by the entry's MD5) and a file from a mirror
/// that differs is fetched again from the next mirror, and at last from the server.
bool DownloadGameFile(LauncherApi& api,
                      const HashEntry& entry,
                      ProgressCallback progress,
                      Pipeline pipeline = 1,
                      MirrorSet* mirrors = nullptr);

/// DownloadGameFile that hashes the bytes as they arrive, whatever the pipeline: a file that
/// differs from the entry in size or digest throws "Downloaded file differs from the server's
/// list: " and the path (with mirrors and a pipeline of 1, only for one from the server when
/// the server's bytes alone would be checked).
bool DownloadGameFileChecked(LauncherApi& api,
                             const HashEntry& entry,
                             const ProgressCallback& progress,
                             Pipeline pipeline,
                             MirrorSet* mirrors = nullptr);

/// How DownloadGameFileBeside treats its part.
struct BesideRepair {
    /// Chunk requests kept in flight.
    Pipeline pipeline = 1;
    /// Keep an interrupted download (`resume`): a part whose record holds the entry's size and MD5
    /// text is continued after its last byte, and a failure leaves the part and its record for a
    /// later download (not a part whose record cannot be written). Otherwise every download
    /// starts at 0 and a failure deletes its part.
    bool keepPart = false;
    /// Called with the complete part, whose size and MD5 are the entry's, before it replaces the
    /// file; it throws to refuse it, and the part is deleted.
    std::function<void(const std::wstring& partPath)> checkPart = nullptr;
    /// When set, the bytes come from these mirrors first, as for DownloadGameFile.
    MirrorSet* mirrors = nullptr;
};

/// DownloadGameFile through path + ".download" (beside it the record "path.download.resume" of a
/// kept part), renamed over the file only once complete with the entry's size and MD5 and
/// accepted by checkPart: a failure, a cut or a kill never leaves other bytes at the path. A kept
/// part counts as free space in the check before the first request. A continued part that then
/// differs is deleted and fetched once more from 0; a file fetched whole
/// that differs is deleted and throws checkPart's failure, or "Downloaded file differs from the
/// server's list: " and the path. Other failures are those of DownloadGameFile.
bool DownloadGameFileBeside(LauncherApi& api,
                            const HashEntry& entry,
                            const ProgressCallback& progress,
                            const BesideRepair& how);

/// The download of DownloadGameFile over any chunk channel; same results and failures, without
/// the check of the digest.
bool DownloadGameFileFrom(const HashEntry& entry,
                          ChunkChannel& channel,
                          const ProgressCallback& progress,
                          Pipeline pipeline = 1);

}  // namespace ombrelta
