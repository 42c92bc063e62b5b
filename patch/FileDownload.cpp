#include "patch/FileDownload.h"

#include <utility>

namespace ombrelta {
namespace {

// A fetcher answers each request as it is made, so its requests wait for one another.
class FetcherChannel : public ChunkChannel {
public:
    explicit FetcherChannel(ChunkFetcher fetcher) : fetcher(std::move(fetcher)) {}

    void Request(std::uint32_t offset) override { requested = offset; }
    std::uint64_t Receive(bool& last) override {
        chunk = fetcher(requested, last);
        return chunk.size();
    }
    bool WriteTo(File& file) override { return file.Write(chunk.data(), chunk.size()); }
    bool Discard() override { return false; }

private:
    ChunkFetcher fetcher;
    std::uint32_t requested = 0;
    std::vector<std::uint8_t> chunk;
};

}  // namespace

bool DownloadToFile(std::uint32_t totalSize,
                    const std::wstring& targetPath,
                    ChunkFetcher fetcher,
                    DownloadProgress progress) {
    if (!fetcher)
        return false;
    FetcherChannel channel(std::move(fetcher));
    return DownloadToFile(channel,
                          {.target = targetPath,
                           .totalSize = totalSize,
                           .exactSize = true,
                           .placement = Placement::PartMovedIn},
                          progress);
}

bool DownloadToFile(ChunkChannel& channel, const DownloadPlan& plan, const DownloadProgress& progress) {
    if (plan.target.empty())
        return false;
    // Exceptions of progress and use are the caller's own and pass through; any other comes from
    // a failing request, which ends the download like every other failure.
    bool callerFailed = false;
    const auto marking = [&](auto call) {
        return [&callerFailed, call](auto... args) {
            try {
                return call(args...);
            } catch (...) {
                callerFailed = true;
                throw;
            }
        };
    };
    DownloadPlan watched = plan;
    if (plan.use)
        watched.use = marking(plan.use);
    try {
        return DownloadChunks(channel, watched, progress ? DownloadProgress(marking(progress)) : nullptr)
                   .end == DownloadEnd::Done;
    } catch (...) {
        if (callerFailed)
            throw;
        return false;
    }
}

}  // namespace ombrelta
