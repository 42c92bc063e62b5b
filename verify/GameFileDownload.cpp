#include "verify/GameFileDownload.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "common/DiskSpace.h"
#include "common/FileSystem.h"
#include "common/DigestHasher.h"
#include "common/Hex.h"
#include "common/PartialDownload.h"
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

// The file the repair replaces and a part kept of it already hold their bytes, so both count as
// free; a repair that still does not fit is refused before anything is written.
void RequireRoomFor(const HashEntry& entry, const std::wstring& pathW, std::uint64_t keptBytes) {
    const std::uint64_t replaced = GetFileSize(pathW).value_or(0);
    if (!DiskSpaceFits(pathW, entry.size, replaced + keptBytes))
        throw std::runtime_error("Not enough disk space: " + entry.path);
}

// Runs the chunk loop into file with the reports of a repair; throws the failure texts.
void ReceiveGameFile(const HashEntry& entry,
                     ChunkChannel& channel,
                     File& file,
                     const ProgressCallback& progress,
                     const ChunkLoopPlan& plan) {
    const std::wstring pathW = EntryWidePath(entry);
    DownloadProgress onChunk;
    if (progress) {
        onChunk = [&](std::uint32_t written, std::uint32_t size) {
            progress(L"Repairing " + pathW, DownloadPercent(written, size));
        };
    }
    std::uint32_t written = 0;
    const ChunkLoopStatus status = RunChunkLoop(channel, file, plan, onChunk, written);
    // An empty chunk is reported like every other before it fails the download.
    if (status == ChunkLoopStatus::EmptyChunk && onChunk)
        onChunk(written, entry.size);
    if (status != ChunkLoopStatus::Complete)
        throw std::runtime_error(FailureText(status) + entry.path);
}

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
    RequireRoomFor(entry, pathW, 0);
    // Failures here show up as the open failing just below.
    (void)EnsureParentDirectories(pathW);
    std::optional<File> file = File::OpenWrite(pathW);
    if (!file)
        throw std::runtime_error("Cannot create local file: " + entry.path);
    ReceiveGameFile(entry, channel, *file, progress, {.totalSize = entry.size, .window = window});
    return true;
}

bool DownloadGameFileKept(LauncherApi& api, const HashEntry& entry, const ProgressCallback& progress, int window) {
    RequireSafeEntryPath(entry.path);
    const std::wstring pathW = EntryWidePath(entry);
    const std::wstring partialPath = pathW + L".download";
    const std::string identity = "size=" + std::to_string(entry.size) + "\nmd5=" + entry.hash + "\n";
    for (;;) {
        const std::uint32_t start = ResumableSize(partialPath, identity, entry.size);
        RequireRoomFor(entry, pathW, start);
        (void)EnsureParentDirectories(pathW);
        // Without its record the partial file is simply never continued.
        (void)RecordPartial(partialPath, identity);
        std::optional<File> file = start == 0 ? File::OpenWrite(partialPath) : File::OpenAppend(partialPath);
        if (!file)
            throw std::runtime_error("Cannot create local file: " + entry.path);
        FileChunkChannel channel(api, entry.id);
        if (window > 1)
            api.SendRequestsAtOnce();
        // A failure leaves the part and its record for a later download to continue.
        ReceiveGameFile(entry, channel, *file, progress, {.totalSize = entry.size, .window = window, .startOffset = start});
        file.reset();
        if (GetFileSize(partialPath) == std::optional<std::uint64_t>(entry.size) &&
            SameMd5Text(ComputeFileMd5(partialPath), entry.hash)) {
            if (!RenameFileReplacing(partialPath, pathW))
                throw std::runtime_error("Failed writing file: " + entry.path);
            (void)DeleteFileAt(PartialRecordPath(partialPath));
            return true;
        }
        DiscardPartial(partialPath);
        // A continued part may not belong to this file after all: fetch it whole, once.
        if (start == 0)
            throw std::runtime_error("Downloaded file differs from the server's list: " + entry.path);
    }
}

}  // namespace ombrelta
