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

/// What a download does with the ".download" file an earlier one left, and with its own when
/// interrupted.
struct KeptDownload {
    /// Bytes of the ".download" file to continue after; 0 starts it anew.
    std::uint32_t startOffset = 0;
    /// Whether a download ended by a failing request (or a throwing progress) keeps its
    /// ".download" for a later one to continue.
    bool keepInterrupted = false;
};

/// DownloadToFile over the requests of channel, with up to window of them in flight.
bool DownloadToFile(std::uint32_t totalSize, const std::wstring& targetPath, ChunkChannel& channel, int window,
                    DownloadProgress progress, KeptDownload kept = {});

}  // namespace ombrelta
