#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

#include "common/ProgressEvents.h"
#include "common/RateLimiter.h"

namespace ombrelta {

/// Where the download under way stands, as its chunk loop last told.
struct DownloadPosition {
    /// Bytes of the file in place (a continued part included).
    std::uint32_t written = 0;
    /// The file's expected size; 0 when unknown.
    std::uint32_t total = 0;
};

/// The chunk data one connection receives, across all its downloads: counted, and held to a
/// rate when a limit is set. The chunk loops tell it of every request and answer; it is used by
/// one thread at a time, as the connection is.
class ChunkTraffic {
public:
    /// Replaces the limit with a fresh one of bytesPerSecond; 0 lifts it.
    void LimitRate(std::uint64_t bytesPerSecond,
                   RateLimiter::Clock clock = {},
                   RateLimiter::Sleep sleep = {});
    /// Called before each chunk request: waits while the bytes received are ahead of the limit,
    /// so that the server's side backs up rather than our memory.
    void BeforeRequest();
    /// Called after each answer with its chunk's length and the download's new position.
    void Received(std::uint64_t bytes, DownloadPosition position);

    /// Sends the events of this connection's downloads to sink: each chunk as DownloadBytes, and
    /// the DownloadStarted and DownloadEnded of DownloadChunks.
    void Observe(ProgressSink sink) { events = std::move(sink); }
    /// The sink given to Observe; empty by default.
    const ProgressSink& Events() const { return events; }

    /// Chunk bytes received since this connection object was made.
    std::uint64_t BytesReceived() const { return bytesReceived; }
    /// The position the latest answer left its download at.
    DownloadPosition Position() const { return position; }

    /// The length of every chunk but the last that the latest download of messages of code
    /// showed; fallback before one has.
    std::uint64_t ChunkLength(std::uint16_t code, std::uint64_t fallback) const;
    /// Notes the length a download of messages of code showed for its chunks.
    void NoteChunkLength(std::uint16_t code, std::uint64_t length) { chunkLengths[code] = length; }

private:
    std::optional<RateLimiter> limit;
    std::uint64_t bytesReceived = 0;
    DownloadPosition position;
    ProgressSink events;
    std::map<std::uint16_t, std::uint64_t> chunkLengths;
};

}  // namespace ombrelta
