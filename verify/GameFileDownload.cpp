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

// The file the repair replaces and a part of it already hold their bytes, so both count as free;
// a repair that still does not fit is refused before anything is written.
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

// Where a kept part of the entry goes on, recording what it is a part of.
std::uint32_t StartOfKeptPart(const HashEntry& entry, const std::wstring& partPath) {
    const std::string identity = GameFilePartRecord(entry.size, entry.hash);
    const std::uint32_t start = ResumableSize(partPath, identity, entry.size);
    // Without its record the part is simply never continued.
    (void)RecordPartial(partPath, identity);
    return start;
}

bool PartIsTheEntry(const HashEntry& entry, const std::wstring& partPath) {
    return GetFileSize(partPath) == std::optional<std::uint64_t>(entry.size) &&
           SameMd5Text(ComputeFileMd5(partPath), entry.hash);
}

// Receives the entry's bytes from start on into the part and tells whether the part is now the
// entry: a part fetched whole was digested as it arrived, a continued one is read again. A
// failure deletes a part not kept.
bool ReceivePart(LauncherApi& api,
                 const HashEntry& entry,
                 const std::wstring& partPath,
                 std::uint32_t start,
                 const ProgressCallback& progress,
                 const BesideRepair& how) {
    std::optional<File> file = start == 0 ? File::OpenWrite(partPath) : File::OpenAppend(partPath);
    if (!file)
        throw std::runtime_error("Cannot create local file: " + entry.path);
    DigestingChannel channel(api, entry.id);
    if (how.window > 1)
        api.SendRequestsAtOnce();
    try {
        ReceiveGameFile(entry, channel, *file, progress,
                        {.totalSize = entry.size, .window = how.window, .startOffset = start});
    } catch (...) {
        file.reset();
        if (!how.keepPart)
            DiscardPartial(partPath);
        throw;
    }
    return start == 0 ? channel.Matches(entry) : PartIsTheEntry(entry, partPath);
}

// Runs checkPart, when there is one; a part it refuses is deleted.
void CheckPart(const std::wstring& partPath, const BesideRepair& how) {
    if (!how.checkPart)
        return;
    try {
        how.checkPart(partPath);
    } catch (...) {
        DiscardPartial(partPath);
        throw;
    }
}

void InstallPart(const HashEntry& entry,
                 const std::wstring& partPath,
                 const std::wstring& pathW,
                 const BesideRepair& how) {
    CheckPart(partPath, how);
    if (!RenameFileReplacing(partPath, pathW)) {
        DiscardPartial(partPath);
        throw std::runtime_error("Failed writing file: " + entry.path);
    }
    (void)DeleteFileAt(PartialRecordPath(partPath));
}

// A file fetched whole that is not the entry's: checkPart names the reason first (under a key,
// a signature that does not hold).
[[noreturn]] void RefuseWholePart(const HashEntry& entry,
                                  const std::wstring& partPath,
                                  const BesideRepair& how) {
    CheckPart(partPath, how);
    DiscardPartial(partPath);
    throw std::runtime_error("Downloaded file differs from the server's list: " + entry.path);
}

}  // namespace

bool DownloadGameFile(LauncherApi& api, const HashEntry& entry, ProgressCallback progress, int window) {
    if (window > 1)
        return DownloadGameFileChecked(api, entry, progress, window);
    FileChunkChannel channel(api, entry.id);
    return DownloadGameFileFrom(entry, channel, progress, window);
}

bool DownloadGameFileChecked(LauncherApi& api,
                             const HashEntry& entry,
                             const ProgressCallback& progress,
                             int window) {
    if (window > 1)
        api.SendRequestsAtOnce();
    DigestingChannel channel(api, entry.id);
    DownloadGameFileFrom(entry, channel, progress, window);
    // Requests sent ahead assume that the server answers in order, and a download after a
    // reconnection that the file did not change on the server meanwhile: the digest checks both.
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

bool DownloadGameFileBeside(LauncherApi& api,
                            const HashEntry& entry,
                            const ProgressCallback& progress,
                            const BesideRepair& how) {
    RequireSafeEntryPath(entry.path);
    const std::wstring pathW = EntryWidePath(entry);
    const std::wstring partPath = pathW + L".download";
    // A part left from before is continued or written over from 0: either way its bytes are free.
    RequireRoomFor(entry, pathW, GetFileSize(partPath).value_or(0));
    (void)EnsureParentDirectories(pathW);
    for (;;) {
        const std::uint32_t start = how.keepPart ? StartOfKeptPart(entry, partPath) : 0;
        if (ReceivePart(api, entry, partPath, start, progress, how)) {
            InstallPart(entry, partPath, pathW, how);
            return true;
        }
        if (start == 0)
            RefuseWholePart(entry, partPath, how);
        // A continued part may not belong to this file after all: fetch it whole, once.
        DiscardPartial(partPath);
    }
}

}  // namespace ombrelta
