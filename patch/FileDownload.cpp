#include "patch/FileDownload.h"

#include <optional>
#include <utility>

#include "common/FileSystem.h"
#include "common/Path.h"

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

// Builds tempPath from the chunks; false, with tempPath deleted, unless it is complete.
bool ReceiveInto(const std::wstring& tempPath, ChunkChannel& channel, const ChunkLoopPlan& plan,
                 const DownloadProgress& progress, bool keepInterrupted) {
    std::optional<File> file = plan.startOffset == 0 ? File::OpenWrite(tempPath) : File::OpenAppend(tempPath);
    if (!file)
        return false;
    // A failing request ends the download quietly; a throwing progress target still must not
    // leave the temporary file behind.
    bool progressFailed = false;
    auto onChunk = [&](std::uint32_t written, std::uint32_t total) {
        try {
            progress(written, total);
        } catch (...) {
            progressFailed = true;
            throw;
        }
    };
    std::uint32_t written = 0;
    ChunkLoopStatus status = ChunkLoopStatus::WriteFailed;
    try {
        status = RunChunkLoop(channel, *file, plan, progress ? DownloadProgress(onChunk) : nullptr, written);
    } catch (...) {
        file.reset();
        if (!keepInterrupted)
            (void)DeleteFileAt(tempPath);
        if (progressFailed)
            throw;
        return false;
    }
    file.reset();
    if (status == ChunkLoopStatus::Complete && (plan.totalSize == 0 || written == plan.totalSize))
        return true;
    (void)DeleteFileAt(tempPath);
    return false;
}

}  // namespace

bool DownloadToFile(std::uint32_t totalSize, const std::wstring& targetPath, ChunkFetcher fetcher,
                    DownloadProgress progress) {
    if (!fetcher)
        return false;
    FetcherChannel channel(std::move(fetcher));
    return DownloadToFile(totalSize, targetPath, channel, 1, std::move(progress));
}

bool DownloadToFile(std::uint32_t totalSize, const std::wstring& targetPath, ChunkChannel& channel, int window,
                    DownloadProgress progress, KeptDownload kept) {
    if (targetPath.empty())
        return false;
    if (!EnsureParentDirectories(targetPath))
        return false;

    const std::wstring tempPath = targetPath + L".download";
    if (kept.startOffset == 0)
        (void)DeleteFileAt(tempPath);
    const ChunkLoopPlan plan{
        .totalSize = totalSize, .totalIsLimit = true, .window = window, .startOffset = kept.startOffset};
    if (!ReceiveInto(tempPath, channel, plan, progress, kept.keepInterrupted))
        return false;

    (void)DeleteFileAt(targetPath);
    if (RenameFileNoReplace(tempPath, targetPath))
        return true;
    (void)DeleteFileAt(tempPath);
    return false;
}

}  // namespace ombrelta
