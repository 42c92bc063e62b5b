#include "protocol/ChunkLoop.h"

#include <limits>
#include <stdexcept>

namespace ombrelta {
namespace {

// The requests of one download that are still unanswered, and where the next one asks from.
class RequestWindow {
public:
    RequestWindow(ChunkChannel& channel, const ChunkLoopPlan& plan)
        : channel(channel),
          totalSize(plan.totalSize),
          window(plan.pipeline.Count()),
          sizing(plan.pipeline.IsAuto() ? SizingWindow(channel) : nullptr) {
        if (plan.pipeline.AsksAhead() && plan.totalSize != 0) {
            stride = channel.ExpectedChunkLength();
            mode = stride != 0 ? Mode::Expected : Mode::FirstAnswer;
        }
        if (sizing && mode == Mode::Expected)
            sizing->SendingTogether();
    }

    // Without outstanding requests the next one asks from written, the true offset; ahead of
    // it go as many as the window holds while the assumed offsets stay below the total.
    void Fill(std::uint32_t written) {
        if (outstanding == 0)
            Send(written);
        while (AsksAhead() && outstanding < Capacity() && next < totalSize) {
            if (!SendAhead())
                mode = Mode::Alone;
        }
    }

    std::uint64_t Receive(bool& last) {
        --outstanding;
        const std::uint64_t length = channel.Receive(last);
        // Answers that come one request at a time tell nothing of what a window would bring.
        if (sizing && AsksAhead())
            sizing->Answered(length);
        return length;
    }

    // The first answer sets the length assumed for all; another length before the last chunk
    // makes every request still outstanding one for a wrong offset. Where a length was expected,
    // the first answer only corrects it: the window goes out again from the offset reached.
    void Check(std::uint64_t length, bool last) {
        if (last)
            return;
        if (mode == Mode::FirstAnswer || mode == Mode::Expected) {
            channel.ChunkLengthSeen(length);
            if (mode == Mode::Expected && length != stride)
                DiscardOutstanding();
            if (sizing && (mode == Mode::FirstAnswer || length != stride))
                sizing->SendingTogether();
            stride = length;
            mode = Mode::Ahead;
        } else if (mode == Mode::Ahead && length != stride) {
            DiscardOutstanding();
            mode = Mode::Alone;
        }
    }

    // A channel that can no longer receive has lost the connection, and the answers with it.
    void DiscardOutstanding() {
        while (outstanding > 0 && channel.Discard())
            --outstanding;
        outstanding = 0;
    }

private:
    // Expected: the first requests went together at an expected chunk length; FirstAnswer: the
    // first went alone to learn it.
    enum class Mode { Alone, FirstAnswer, Expected, Ahead };

    bool AsksAhead() const { return mode == Mode::Expected || mode == Mode::Ahead; }
    int Capacity() const { return sizing ? sizing->Size() : window; }

    ChunkWindow* SizingWindow(ChunkChannel& source) {
        ChunkWindow* shared = source.AutoWindow();
        return shared ? shared : &ownWindow;
    }

    void Send(std::uint64_t offset) {
        if (ChunkTraffic* traffic = channel.Traffic())
            traffic->BeforeRequest();
        channel.Request(static_cast<std::uint32_t>(offset));
        ++outstanding;
        next = offset + stride;
    }

    // A request ahead that cannot go out leaves the failure to the answers before it: they
    // then meet the lost connection, as they would have if this request had waited for them.
    bool SendAhead() {
        try {
            Send(next);
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    }

    ChunkChannel& channel;
    const std::uint64_t totalSize;
    const int window;
    Mode mode = Mode::Alone;
    ChunkWindow ownWindow;
    ChunkWindow* sizing;
    int outstanding = 0;
    std::uint64_t stride = 0;
    std::uint64_t next = 0;
};

ChunkLoopStatus ReceiveChunks(ChunkChannel& channel,
                              RequestWindow& requests,
                              File& file,
                              const ChunkLoopPlan& plan,
                              const DownloadProgress& progress,
                              std::uint32_t& written) {
    bool last = false;
    while (!last) {
        requests.Fill(written);
        const std::uint64_t size = requests.Receive(last);
        if (size != 0) {
            // Past this point the next request's offset would wrap to the start of the file.
            if (written + size > std::numeric_limits<std::uint32_t>::max())
                return ChunkLoopStatus::PastOffsetRange;
            if (!channel.WriteTo(file))
                return ChunkLoopStatus::WriteFailed;
            written += static_cast<std::uint32_t>(size);
        }
        if (ChunkTraffic* traffic = channel.Traffic())
            traffic->Received(size, {.written = written, .total = plan.totalSize});
        if (size == 0 && !last)
            return ChunkLoopStatus::EmptyChunk;
        if (progress)
            progress(written, plan.totalSize);
        if (plan.totalIsLimit && plan.totalSize != 0 && written > plan.totalSize)
            return ChunkLoopStatus::PastAnnouncedSize;
        requests.Check(size, last);
    }
    return file.Close() ? ChunkLoopStatus::Complete : ChunkLoopStatus::WriteFailed;
}

}  // namespace

ChunkLoopStatus RunChunkLoop(ChunkChannel& channel,
                             File& file,
                             const ChunkLoopPlan& plan,
                             const DownloadProgress& progress,
                             std::uint32_t& written) {
    written = plan.startOffset;
    RequestWindow requests(channel, plan);
    // Whatever ends the download, the connection is left with no answer still to come, as it
    // is after a download that waited for each answer.
    try {
        const ChunkLoopStatus status = ReceiveChunks(channel, requests, file, plan, progress, written);
        requests.DiscardOutstanding();
        return status;
    } catch (...) {
        requests.DiscardOutstanding();
        throw;
    }
}

}  // namespace ombrelta
