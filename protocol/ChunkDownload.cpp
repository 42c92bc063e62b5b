#include "protocol/ChunkDownload.h"

#include <chrono>
#include <exception>

#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/PartialDownload.h"
#include "common/Path.h"
#include "common/Text.h"

namespace ombrelta {
namespace {

bool HasPart(const DownloadPlan& plan) {
    return plan.placement != Placement::InPlace;
}

// The file the bytes are written into: the part, or the target itself.
std::wstring WritePath(const DownloadPlan& plan) {
    return HasPart(plan) ? PartialPath(plan.target) : plan.target;
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

// The text of the exception being handled.
std::string HandledExceptionText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "an unknown exception";
    }
}

std::string LoopFailure(ChunkLoopStatus status) {
    switch (status) {
        case ChunkLoopStatus::Complete:
            return {};
        case ChunkLoopStatus::WriteFailed:
            return "write failed: " + SystemErrorText();
        case ChunkLoopStatus::EmptyChunk:
            return "the server sent an empty chunk";
        case ChunkLoopStatus::PastOffsetRange:
            return "the file passed the 4 GiB offset range";
        case ChunkLoopStatus::PastAnnouncedSize:
            return "more bytes than the announced size";
    }
    return {};
}

// What the events learn of one pass; the cause of its failure is noted as well.
class PassEvents {
public:
    PassEvents(ChunkChannel& channel, const DownloadPlan& plan, std::uint32_t start)
        : sink(channel.Traffic() ? channel.Traffic()->Events() : noSink),
          channel(channel),
          plan(plan),
          start(start),
          began(std::chrono::steady_clock::now()) {
        if (!sink)
            return;
        sink({.kind = ProgressEventKind::DownloadStarted,
                      .subject = Subject(),
                      .done = start,
                      .total = plan.totalSize,
                      .detail = channel.Source()});
    }

    void Ended(std::uint32_t written, const std::string& cause) {
        NoteFailure(cause);
        if (!sink)
            return;
        sink({.kind = ProgressEventKind::DownloadEnded,
                      .subject = Subject(),
                      .done = written >= start ? written - start : 0,
                      .total = plan.totalSize,
                      .seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(),
                      .window = WindowReached(),
                      .detail = cause});
    }

private:
    // A mirror is asked one request at a time; an automatic window tells the size it reached,
    // unless it was the download's own (0: not known here).
    int WindowReached() const {
        if (!channel.FromServer())
            return 1;
        if (!plan.pipeline.IsAuto())
            return plan.pipeline.Count();
        const ChunkWindow* window = channel.AutoWindow();
        return window ? window->Size() : 0;
    }

    std::string Subject() const { return plan.subject.empty() ? WideToUtf8(plan.target) : plan.subject; }

    static inline const ProgressSink noSink{};
    const ProgressSink& sink;
    ChunkChannel& channel;
    const DownloadPlan& plan;
    std::uint32_t start;
    std::chrono::steady_clock::time_point began;
};

// Sets how a chunk loop that returned ended, dropping the part it leaves unusable; the cause of a
// failure, empty when complete.
std::string Settle(const DownloadPlan& plan, const std::wstring& path, bool keepable, DownloadResult& result) {
    if (result.status != ChunkLoopStatus::Complete) {
        // Read before anything else can change the system's last error.
        std::string cause = LoopFailure(result.status);
        if (!keepable || !plan.keepPartOnBadAnswer)
            DropPart(plan, path);
        result.end = DownloadEnd::LoopFailed;
        return cause;
    }
    if (plan.exactSize && plan.totalSize != 0 && result.written != plan.totalSize) {
        DropPart(plan, path);
        result.end = DownloadEnd::WrongSize;
        return "size expected " + std::to_string(plan.totalSize) + ", found " + std::to_string(result.written);
    }
    return {};
}

DownloadResult Receive(ChunkChannel& channel,
                       const DownloadPlan& plan,
                       const std::wstring& path,
                       std::uint32_t start,
                       bool keepable,
                       const DownloadProgress& progress) {
    PassEvents events(channel, plan, start);
    // A part left by another download is started over; a file in place is truncated instead, so
    // that one that cannot be opened stays as it was.
    if (start == 0 && HasPart(plan))
        (void)DeleteFileAt(path);
    std::optional<File> file = start == 0 ? File::OpenWrite(path) : File::OpenAppend(path);
    if (!file) {
        const std::string systemError = SystemErrorText();
        events.Ended(start, "cannot open " + WideToUtf8(path) + ": " + systemError);
        return {.end = DownloadEnd::CannotOpen, .written = start};
    }
    const ChunkLoopPlan loop{.totalSize = plan.totalSize,
                             .totalIsLimit = plan.exactSize,
                             .pipeline = channel.FromServer() ? plan.pipeline : 1,
                             .startOffset = start};
    DownloadResult result{.written = start};
    try {
        result.status = RunChunkLoop(channel, *file, loop, progress, result.written);
    } catch (...) {
        events.Ended(result.written, HandledExceptionText());
        file.reset();
        if (!keepable)
            DropPart(plan, path);
        throw;
    }
    file.reset();
    events.Ended(result.written, Settle(plan, path, keepable, result));
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
    // Read before the clean-up can change the system's last error.
    if (!placed)
        NoteFailure("cannot put " + WideToUtf8(plan.target) + " in place: " + SystemErrorText());
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
    if (plan.pipeline.AsksAhead())
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
