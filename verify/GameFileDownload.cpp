#include "verify/GameFileDownload.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "common/FileSystem.h"
#include "common/Md5.h"
#include "common/Path.h"
#include "common/SafePath.h"
#include "protocol/ChunkChannels.h"
#include "verify/FileHash.h"
#include "verify/FileVerifier.h"

namespace ombrelta {
namespace {

std::int32_t DownloadPercent(std::uint32_t written, std::uint32_t size) {
    if (size == 0)
        return 0;
    const std::uint64_t percent = static_cast<std::uint64_t>(written) * 100 / size;
    return static_cast<std::int32_t>(percent < 100 ? percent : 100);
}

const char* FailureText(ChunkLoopStatus status) {
    switch (status) {
        case ChunkLoopStatus::EmptyChunk:
            return "Server returned empty chunk: ";
        case ChunkLoopStatus::PastOffsetRange:
            // Offsets travel as 32-bit numbers; a bigger file would wrap and fetch the start again.
            return "File too large: ";
        default:
            return "Failed writing file: ";
    }
}

// Digests each chunk as it is written, so that checking the file afterwards reads nothing again.
class DigestingChannel : public FileChunkChannel {
public:
    DigestingChannel(LauncherApi& api, std::uint16_t fileId)
        : FileChunkChannel(api, fileId), hasher(Md5Hasher::Create()) {}

    bool WriteTo(File& file) override {
        if (hasher && !hasher->Update(chunk.data(), chunk.size()))
            hasher.reset();
        written += chunk.size();
        return FileChunkChannel::WriteTo(file);
    }

    // Whether the bytes written have the entry's size and digest (letter case aside).
    bool Matches(const HashEntry& entry) {
        std::optional<Md5Digest> digest = hasher ? hasher->Finish() : std::nullopt;
        return digest && written == entry.size && SameMd5Text(BytesToHex(*digest), entry.hash);
    }

private:
    std::optional<Md5Hasher> hasher;
    std::uint64_t written = 0;
};

}  // namespace

bool DownloadGameFile(LauncherApi& api, const HashEntry& entry, ProgressCallback progress, int window) {
    if (window <= 1) {
        FileChunkChannel channel(api, entry.id);
        return DownloadGameFileFrom(entry, channel, progress, window);
    }
    api.SendRequestsAtOnce();
    DigestingChannel channel(api, entry.id);
    DownloadGameFileFrom(entry, channel, progress, window);
    // Requests sent ahead assume that the server answers in order; the digest checks it.
    if (!channel.Matches(entry))
        throw std::runtime_error("Downloaded file differs from the server's list: " + entry.path);
    return true;
}

bool DownloadGameFileFrom(const HashEntry& entry,
                          ChunkChannel& channel,
                          const ProgressCallback& progress,
                          int window) {
    RequireSafeEntryPath(entry.path);
    const std::wstring pathW = EntryWidePath(entry);
    // Failures here show up as the open failing just below.
    (void)EnsureParentDirectories(pathW);
    std::optional<File> file = File::OpenWrite(pathW);
    if (!file)
        throw std::runtime_error("Cannot create local file: " + entry.path);
    DownloadProgress onChunk;
    if (progress) {
        onChunk = [&](std::uint32_t written, std::uint32_t size) {
            progress(L"Repairing " + pathW, DownloadPercent(written, size));
        };
    }
    std::uint32_t written = 0;
    const ChunkLoopPlan plan{.totalSize = entry.size, .window = window};
    const ChunkLoopStatus status = RunChunkLoop(channel, *file, plan, onChunk, written);
    // An empty chunk is reported like every other before it fails the download.
    if (status == ChunkLoopStatus::EmptyChunk && onChunk)
        onChunk(written, entry.size);
    if (status != ChunkLoopStatus::Complete)
        throw std::runtime_error(FailureText(status) + entry.path);
    return true;
}

}  // namespace ombrelta
