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

// A download's ".download" file. Once opened it is deleted when this goes out of scope, unless
// it was moved into place or kept for a later download to continue.
class TemporaryFile {
public:
    explicit TemporaryFile(std::wstring path) : path(std::move(path)) {}
    ~TemporaryFile() {
        if (owned)
            (void)DeleteFileAt(path);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Fills the file from the chunks, continuing it after plan.startOffset bytes or starting it
    // anew; true only when complete. A failing request or a throwing progress target keeps it
    // when keepInterrupted; the progress target's exception passes through.
    bool Fetch(ChunkChannel& channel,
               const ChunkLoopPlan& plan,
               const DownloadProgress& progress,
               bool keepInterrupted);
    // Replaces targetPath with the complete file.
    bool MoveIntoPlace(const std::wstring& targetPath);

private:
    std::wstring path;
    bool owned = false;
};

bool TemporaryFile::Fetch(ChunkChannel& channel,
                          const ChunkLoopPlan& plan,
                          const DownloadProgress& progress,
                          bool keepInterrupted) {
    if (plan.startOffset == 0)
        (void)DeleteFileAt(path);
    std::optional<File> file = plan.startOffset == 0 ? File::OpenWrite(path) : File::OpenAppend(path);
    if (!file)
        return false;
    owned = true;
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
        owned = !keepInterrupted;
        if (progressFailed)
            throw;
        return false;
    }
    return status == ChunkLoopStatus::Complete && (plan.totalSize == 0 || written == plan.totalSize);
}

bool TemporaryFile::MoveIntoPlace(const std::wstring& targetPath) {
    (void)DeleteFileAt(targetPath);
    if (!RenameFileNoReplace(path, targetPath))
        return false;
    owned = false;
    return true;
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

    const ChunkLoopPlan plan{
        .totalSize = totalSize, .totalIsLimit = true, .window = window, .startOffset = kept.startOffset};
    TemporaryFile temporary(targetPath + L".download");
    return temporary.Fetch(channel, plan, progress, kept.keepInterrupted) &&
           temporary.MoveIntoPlace(targetPath);
}

}  // namespace ombrelta
