#include "protocol/ChunkDownload.h"

#include "common/FileSystem.h"
#include "common/PartialDownload.h"
#include "common/Path.h"

namespace ombrelta {
namespace {

bool HasPart(const DownloadPlan& plan) {
    return plan.placement != Placement::InPlace;
}

// The file the bytes are written into: the part, or the target itself.
std::wstring WritePath(const DownloadPlan& plan) {
    return HasPart(plan) ? plan.target + L".download" : plan.target;
}

// A file in place keeps what it has; a part goes with its record.
void DropPart(const DownloadPlan& plan, const std::wstring& path) {
    if (HasPart(plan))
        DiscardPartial(path);
}

// The offset a kept part of the same download goes on from, recording what it is a part of;
// 0 otherwise. Without its record a part could never be continued, so it is not kept then.
std::uint32_t StartOf(const DownloadPlan& plan, const std::wstring& path, bool& keepable) {
    keepable = false;
    if (!HasPart(plan) || !plan.resumeRecord)
        return 0;
    const std::uint32_t start = ResumableSize(path, *plan.resumeRecord, plan.totalSize);
    keepable = RecordPartial(path, *plan.resumeRecord);
    return start;
}

DownloadResult Receive(ChunkChannel& channel,
                       const DownloadPlan& plan,
                       const std::wstring& path,
                       std::uint32_t start,
                       bool keepable,
                       const DownloadProgress& progress) {
    // A part left by another download is started over; a file in place is truncated instead, so
    // that one that cannot be opened stays as it was.
    if (start == 0 && HasPart(plan))
        (void)DeleteFileAt(path);
    std::optional<File> file = start == 0 ? File::OpenWrite(path) : File::OpenAppend(path);
    if (!file)
        return {.end = DownloadEnd::CannotOpen, .written = start};
    const ChunkLoopPlan loop{.totalSize = plan.totalSize,
                             .totalIsLimit = plan.exactSize,
                             .pipeline = channel.FromServer() ? plan.pipeline : 1,
                             .startOffset = start};
    DownloadResult result{.written = start};
    try {
        result.status = RunChunkLoop(channel, *file, loop, progress, result.written);
    } catch (...) {
        file.reset();
        if (!keepable)
            DropPart(plan, path);
        throw;
    }
    file.reset();
    if (result.status != ChunkLoopStatus::Complete) {
        if (!keepable || !plan.keepPartOnBadAnswer)
            DropPart(plan, path);
        result.end = DownloadEnd::LoopFailed;
    } else if (plan.exactSize && plan.totalSize != 0 && result.written != plan.totalSize) {
        DropPart(plan, path);
        result.end = DownloadEnd::WrongSize;
    }
    return result;
}

bool Accepted(const DownloadPlan& plan, const std::wstring& path, bool continued) {
    if (!plan.check)
        return true;
    try {
        if (plan.check(path, continued))
            return true;
    } catch (...) {
        DropPart(plan, path);
        throw;
    }
    DropPart(plan, path);
    return false;
}

bool Place(const DownloadPlan& plan, const std::wstring& path) {
    if (!HasPart(plan))
        return true;
    bool placed = false;
    if (plan.placement == Placement::PartMovedIn) {
        (void)DeleteFileAt(plan.target);
        placed = RenameFileNoReplace(path, plan.target);
    } else {
        placed = RenameFileReplacing(path, plan.target);
    }
    DiscardPartial(path);
    return placed;
}

// One pass from a kept part, or from 0; a continued file, or one from a source other than the
// server, that fails its check or its use is gone afterwards, so the next pass starts at 0.
std::optional<DownloadResult> Attempt(ChunkChannel& channel,
                                      const DownloadPlan& plan,
                                      const std::wstring& path,
                                      const DownloadProgress& progress) {
    bool keepable = false;
    const std::uint32_t start = StartOf(plan, path, keepable);
    const bool continued = start != 0;
    const bool fetchAgain = continued || !channel.FromServer();
    DownloadResult result = Receive(channel, plan, path, start, keepable, progress);
    if (result.end != DownloadEnd::Done)
        return result;
    if (!Accepted(plan, path, continued))
        return fetchAgain ? std::nullopt : std::optional(DownloadResult{.end = DownloadEnd::Refused});
    if (!Place(plan, path))
        return DownloadResult{.end = DownloadEnd::CannotPlace};
    if (!plan.use || plan.use(fetchAgain))
        return result;
    if (!fetchAgain)
        return DownloadResult{.end = DownloadEnd::Unused};
    (void)DeleteFileAt(plan.target);
    return std::nullopt;
}

}  // namespace

DownloadResult DownloadChunks(ChunkChannel& channel,
                              const DownloadPlan& plan,
                              const DownloadProgress& progress) {
    const std::wstring path = WritePath(plan);
    // Failures show up as the file failing to open.
    (void)EnsureParentDirectories(plan.target);
    if (plan.pipeline > 1)
        channel.SendRequestsAtOnce();
    for (;;) {
        std::optional<DownloadResult> result;
        // A source other than the server that fails, or whose file is refused, hands the file to
        // the next one; the server, the last, is never left.
        try {
            result = Attempt(channel, plan, path, progress);
        } catch (const SourceFault&) {
            channel.NextSource();
            continue;
        }
        if (!result) {
            channel.NextSource();
            continue;
        }
        if (plan.resumeRecord && HasPart(plan) && !PathExists(path))
            (void)DeleteFileAt(PartialRecordPath(path));
        return *result;
    }
}

}  // namespace ombrelta
