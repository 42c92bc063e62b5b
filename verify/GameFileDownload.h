#pragma once

#include "common/ProgressCallback.h"
#include "protocol/ChunkLoop.h"
#include "protocol/HashEntry.h"
#include "protocol/LauncherApi.h"

namespace ombrelta {

/// Downloads one game file chunk by chunk over its local copy (relative to the working
/// directory), with up to window chunk requests in flight. True once the last chunk is written
/// and the file closed; every failure throws std::runtime_error: "Unsafe file path: ",
/// "Not enough disk space: " (before the first request, when the volume's known free space and
/// the file replaced cannot hold the entry's size), "Cannot create local file: ", "Failed
/// writing file: ", "Server returned empty chunk: " or "File too large: ", each followed by the
/// entry's path as received, or the request's own error. A failed download leaves the bytes written so far. With a window above 1 the bytes
/// written are hashed too, and a file that differs from the entry in size or digest throws
/// "Downloaded file differs from the server's list: " and the path.
bool DownloadGameFile(LauncherApi& api, const HashEntry& entry, ProgressCallback progress, int window = 1);

/// DownloadGameFile that keeps an interrupted download: the chunks go to the path + ".download"
/// (with a record of the entry's size and MD5 text beside it), continued after its last byte
/// when the record matches the entry, and renamed over the file only once complete with the
/// entry's size and MD5; the part counts as free space in the check before the first request.
/// A failure leaves the game file as it was and the part for a later download; a continued part that then differs is deleted and fetched once more from 0, and
/// only a file fetched whole that differs throws "Downloaded file differs from the server's
/// list: " and the path. Other failures are those of DownloadGameFile.
bool DownloadGameFileKept(LauncherApi& api, const HashEntry& entry, const ProgressCallback& progress, int window);

/// The download of DownloadGameFile over any chunk channel; same results and failures, without
/// the check of the digest.
bool DownloadGameFileFrom(const HashEntry& entry,
                          ChunkChannel& channel,
                          const ProgressCallback& progress,
                          int window = 1);

}  // namespace ombrelta
