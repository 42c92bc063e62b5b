#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "protocol/ChunkLoop.h"

namespace ombrelta {

/// Where a download writes its bytes, and how they come to lie at the target.
enum class Placement {
    /// Into the target itself, truncated first: a failure leaves the bytes written so far.
    InPlace,
    /// Into target + ".download"; once complete the target is deleted and the part renamed to it.
    PartMovedIn,
    /// Into target + ".download", renamed over the target in one step once complete, so that the
    /// target holds the old file or the new one and never anything else.
    PartRenamedOver,
};

/// Every choice of one download.
struct DownloadPlan {
    std::wstring target;
    /// What the download events call it: the patch's archive name or the entry's path (UTF-8).
    std::string subject{};
    /// Bytes expected; 0 when unknown.
    std::uint32_t totalSize = 0;
    /// A known total is the exact size: more bytes end the download at once, fewer fail it.
    bool exactSize = false;
    Placement placement = Placement::InPlace;
    /// With a part (`resume`): the record written beside it (PartialRecordPath). A part whose
    /// record holds this text is continued after its last byte, and a download ended by a failing
    /// request or a throwing progress target keeps its part and record for a later one. Without
    /// it every download starts at 0 and a part not placed is deleted.
    std::optional<std::string> resumeRecord = std::nullopt;
    /// With resumeRecord: a chunk loop that ends on a bad answer (an empty chunk, a failed write,
    /// a file past the offset range) keeps the part too.
    bool keepPartOnBadAnswer = false;
    /// Chunk requests in flight (`pipeline`, see ChunkLoopPlan).
    Pipeline pipeline = 1;
    /// Given the complete file (the part, or the target in place) and whether it continued a kept
    /// part, tells whether it is the one expected. A part refused, or whose check throws, is
    /// deleted; a refused continued part, or one from a source other than the server (see
    /// ChunkChannel::FromServer), is fetched once more from 0 from the channel's next source.
    std::function<bool(const std::wstring& path, bool continued)> check = nullptr;
    /// Called once the file lies at the target, with whether refusing it fetches it again (it
    /// continued a kept part, or came from a source other than the server); false refuses it:
    /// such a file is deleted and fetched once more from 0 from the channel's next source, one
    /// fetched whole from the server stays.
    std::function<bool(bool fetchAgain)> use = nullptr;
};

/// How a download ended.
enum class DownloadEnd {
    Done,
    CannotOpen,   // the file to write into could not be created or opened
    LoopFailed,   // the chunk loop ended on a status other than Complete
    WrongSize,    // an exact size the bytes fell short of
    Refused,      // the check refused a file fetched whole
    CannotPlace,  // the part could not take the target's place
    Unused,       // use refused a file fetched whole
};

struct DownloadResult {
    DownloadEnd end = DownloadEnd::Done;
    ChunkLoopStatus status = ChunkLoopStatus::Complete;
    /// Bytes of the file when the chunk loop ended.
    std::uint32_t written = 0;
};

/// Fetches the file the plan names over channel, creating the target's missing directories
/// first, and reports every chunk to progress. A SourceFault moves the file to the channel's next
/// source, which goes on from a kept part or starts at 0. Each pass is told to the channel's
/// traffic events as DownloadStarted and DownloadEnded (with the cause of a failure, also noted
/// with NoteFailure). Exceptions of the channel, progress, check and use
/// pass through, with the part kept or deleted as the plan says. Whatever the end, a record
/// whose part is gone is deleted with it.
DownloadResult DownloadChunks(ChunkChannel& channel,
                              const DownloadPlan& plan,
                              const DownloadProgress& progress);

}  // namespace ombrelta
