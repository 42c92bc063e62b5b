#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/ChunkDownload.h"

namespace ombrelta {

/// Returns the chunk that starts at offset and sets last when it is the final one. May throw.
using ChunkFetcher = std::function<std::vector<std::uint8_t>(std::uint32_t offset, bool& last)>;

/// Builds the file at targetPath from chunks, through targetPath + ".download", which is renamed
/// into place only when complete. totalSize 0 accepts any length. False on any failure, with
/// the temporary file deleted and targetPath untouched; a fetcher's exception becomes false,
/// one of progress passes through.
bool DownloadToFile(std::uint32_t totalSize,
                    const std::wstring& targetPath,
                    ChunkFetcher fetcher,
                    DownloadProgress progress);

/// A patch archive's download as plan says (DownloadChunks): true when done; false for every
/// other end, a failing request among them, while an exception of progress passes through.
/// False without touching anything when the target is empty.
bool DownloadToFile(ChunkChannel& channel, const DownloadPlan& plan, const DownloadProgress& progress);

}  // namespace ombrelta
