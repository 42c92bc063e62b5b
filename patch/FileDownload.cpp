#include "patch/FileDownload.h"

#include <optional>

#include "common/FileSystem.h"
#include "common/Path.h"
#include "patch/ChunkLoop.h"

namespace ombrelta {

bool DownloadToFile(std::uint32_t totalSize, const std::wstring& targetPath, ChunkFetcher fetcher,
                    DownloadProgress progress) {
    if (!fetcher || targetPath.empty())
        return false;
    if (!EnsureParentDirectories(targetPath))
        return false;

    const std::wstring tempPath = targetPath + L".download";
    (void)DeleteFileAt(tempPath);
    std::optional<File> file = File::OpenWrite(tempPath);
    if (!file)
        return false;

    auto discard = [&] {
        file.reset();
        (void)DeleteFileAt(tempPath);
    };
    // A failing fetch ends the download quietly; anything else that throws (the progress target)
    // still must not leave the temporary file behind.
    bool fetchFailed = false;
    auto fetch = [&](std::uint32_t offset, bool& last) {
        try {
            return fetcher(offset, last);
        } catch (...) {
            fetchFailed = true;
            throw;
        }
    };
    auto write = [&](const std::vector<std::uint8_t>& chunk) { return file->Write(chunk.data(), chunk.size()); };

    std::uint32_t written = 0;
    ChunkLoopStatus status;
    try {
        status = RunChunkLoop(totalSize, fetch, write, progress, written);
    } catch (...) {
        discard();
        if (fetchFailed)
            return false;
        throw;
    }
    if (status != ChunkLoopStatus::Complete || !file->Close()) {
        discard();
        return false;
    }
    file.reset();
    if (totalSize != 0 && written != totalSize) {
        (void)DeleteFileAt(tempPath);
        return false;
    }

    (void)DeleteFileAt(targetPath);
    if (RenameFileNoReplace(tempPath, targetPath))
        return true;
    (void)DeleteFileAt(tempPath);
    return false;
}

}  // namespace ombrelta
