#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/ChunkLoop.h"

namespace ombrelta {

/// Returns the chunk that starts at offset and sets last when it is the final one. May throw.
using ChunkFetcher = std::function<std::vector<std::uint8_t>(std::uint32_t offset, bool& last)>;

/// Builds the file at targetPath from chunks, through targetPath + ".download", which is renamed
/// into place only when complete. totalSize 0 accepts any length. False on any failure, with
/// the temporary file deleted and targetPath untouched; a fetcher's exception becomes false,
/// one of progress passes through.
bool DownloadToFile(std::uint32_t totalSize, const std::wstring& targetPath, ChunkFetcher fetcher,
                    DownloadProgress progress);

/// DownloadToFile over the requests of channel, with up to window of them in flight.
bool DownloadToFile(std::uint32_t totalSize, const std::wstring& targetPath, ChunkChannel& channel, int window,
                    DownloadProgress progress);

}  // namespace ombrelta
