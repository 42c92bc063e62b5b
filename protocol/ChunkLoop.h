#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "common/FileSystem.h"
#include "common/Pipeline.h"
#include "common/ProgressEvents.h"
#include "protocol/ChunkTraffic.h"
#include "protocol/ChunkWindow.h"

namespace ombrelta {

enum class ChunkLoopStatus {
    Complete,
    WriteFailed,        // writing a chunk, or closing the file after the last one, failed
    EmptyChunk,         // an empty chunk without the last flag
    PastOffsetRange,    // the next offset would not fit the 32-bit offset of a chunk request
    PastAnnouncedSize,  // more bytes than the announced total, where that is a limit
};

/// Told the bytes written so far and the expected total after every chunk.
using DownloadProgress = std::function<void(std::uint32_t written, std::uint32_t total)>;

/// A fault of a source other than the launcher server (a mirror), with its reason: the download
/// moves on to the channel's next source.
class SourceFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The chunk requests of one download over one connection. Answers come back in the order the
/// requests went out; the chunk of the answer received last is held until the next Receive, so
/// the loop itself only ever sees chunk lengths.
class ChunkChannel {
public:
    virtual ~ChunkChannel() = default;
    /// Sends the request for the chunk at offset. Throws std::runtime_error when it cannot.
    virtual void Request(std::uint32_t offset) = 0;
    /// Receives the answer to the oldest unanswered request, holds its chunk and returns the
    /// chunk's length; sets last when it is the final chunk. Throws std::runtime_error for a
    /// failed or malformed answer.
    virtual std::uint64_t Receive(bool& last) = 0;
    /// Appends the chunk held by Receive to file; false when writing fails.
    virtual bool WriteTo(File& file) = 0;
    /// Receives the answer to the oldest unanswered request and drops it; false when none
    /// arrives. Never throws.
    virtual bool Discard() = 0;
    /// The connection's traffic, told of every request before it goes (it may hold it back) and
    /// of every chunk received; nothing for a channel that is not paced or counted.
    virtual ChunkTraffic* Traffic() { return nullptr; }
    /// The window an automatic pipeline (Pipeline::Auto) keeps in flight, where it outlives one
    /// download (the connection's); none, the default, gives each download a ChunkWindow of its
    /// own.
    virtual ChunkWindow* AutoWindow() { return nullptr; }
    /// Readies the connection for requests kept in flight; called once before a download whose
    /// pipeline asks ahead. Nothing for a channel without a connection of its own.
    virtual void SendRequestsAtOnce() {}
    /// Whether the bytes come from the launcher server, the authority (the default). Those of
    /// another source are asked for one request at a time, and a file made of them that is
    /// refused is fetched again from the next source. Only another source throws SourceFault.
    virtual bool FromServer() const { return true; }
    /// Leaves the source serving now for the next one; nothing once it is the launcher server.
    virtual void NextSource() {}
    /// The source serving now, for logs: "server", or a mirror's host.
    virtual std::string Source() const { return kServerSource; }
    /// The length expected of every chunk but the last before any has come, so that the first
    /// requests of a download can go together; 0, the default, expects none.
    virtual std::uint64_t ExpectedChunkLength() { return 0; }
    /// Told the length a download's chunks turned out to have, once its first answer showed it.
    virtual void ChunkLengthSeen(std::uint64_t) {}
};

/// What one download asks for.
struct ChunkLoopPlan {
    /// Bytes expected in all (the first request's offset included); 0 when unknown.
    std::uint32_t totalSize = 0;
    /// Whether more bytes than a known totalSize end the download (PastAnnouncedSize).
    bool totalIsLimit = false;
    /// Chunk requests that may be in flight at once (`pipeline`); 1 or less waits for every
    /// answer; automatic as many as the channel's ChunkWindow holds, told of every answer asked
    /// ahead.
    Pipeline pipeline = 1;
    /// Bytes already in place; the first request asks from here.
    std::uint32_t startOffset = 0;
};

/// The chunk loop of a download: requests the chunk at each offset until one is marked last,
/// appends each non-empty chunk to file and reports progress after each chunk, in order. With a
/// pipeline that asks ahead and a known total, requests ask ahead at multiples of one chunk
/// length, never from the total on: the channel's expected length, with the first requests sent
/// together, or else the first chunk's, with the first request alone. A first answer of another
/// length than expected drops the answers still to come and asks on with its length; another
/// length later, not the last chunk, means requests asked from wrong offsets: their answers are
/// dropped and the rest goes one request at a time.
/// Each request waits for the channel's traffic first (a rate limit holds it back there), and
/// each answer's length is told to it.
/// On Complete the file is closed; on any other result it is left open. Exceptions of the
/// channel and of progress pass through once the answers still outstanding are dropped;
/// written holds the offset reached either way.
ChunkLoopStatus RunChunkLoop(ChunkChannel& channel,
                             File& file,
                             const ChunkLoopPlan& plan,
                             const DownloadProgress& progress,
                             std::uint32_t& written);

}  // namespace ombrelta
