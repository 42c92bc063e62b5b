#include "verify/GameFileDownload.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "common/DigestHasher.h"
#include "common/DiskSpace.h"
#include "common/FailureNote.h"
#include "common/FileSystem.h"
#include "common/Hex.h"
#include "common/MirrorUrl.h"
#include "common/PartialDownload.h"
#include "common/SafePath.h"
#include "protocol/ChunkChannels.h"
#include "protocol/ChunkDownload.h"
#include "protocol/MirroredChannel.h"
#include "verify/EntryFile.h"
#include "verify/FileHash.h"
#include "verify/HandOffThread.h"

namespace ombrelta {
namespace {

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

// Whether a download has the entry's size and MD5 (letter case aside); the check that fails is
// noted with what it found.
bool SameEntry(const HashEntry& entry, std::uint64_t size, const std::string& md5) {
    if (size != entry.size) {
        NoteFailure("size expected " + std::to_string(entry.size) + ", found " + std::to_string(size));
        return false;
    }
    if (!SameMd5Text(md5, entry.hash)) {
        NoteFailure("MD5 expected " + entry.hash + ", found " + md5);
        return false;
    }
    return true;
}

// Digests the bytes from offset 0 on as they are written, so that checking the file afterwards
// reads nothing again; a request for offset 0 starts the digest over. A large file is digested
// on a thread of its own while the next bytes arrive.
class DigestingChannel : public HeldChunkChannel {
public:
    DigestingChannel(HeldChunkChannel& inner, std::uint64_t size)
        : inner(inner), onOwnThread(size >= kThreadedDigestSize) {}

    void Request(std::uint32_t offset) override {
        if (offset == 0)
            StartOver();
        inner.Request(offset);
    }
    std::uint64_t Receive(bool& last) override { return inner.Receive(last); }
    std::span<const std::uint8_t> Held() const override { return inner.Held(); }
    bool WriteTo(File& file) override {
        const std::span<const std::uint8_t> bytes = Held();
        if (handOff)
            handOff->Copy(bytes);
        written += bytes.size();
        return inner.WriteTo(file);
    }
    bool Discard() override { return inner.Discard(); }
    ChunkTraffic* Traffic() override { return inner.Traffic(); }
    ChunkWindow* AutoWindow() override { return inner.AutoWindow(); }
    void SendRequestsAtOnce() override { inner.SendRequestsAtOnce(); }
    bool FromServer() const override { return inner.FromServer(); }
    void NextSource() override { inner.NextSource(); }
    std::string Source() const override { return inner.Source(); }
    std::uint64_t ExpectedChunkLength() override { return inner.ExpectedChunkLength(); }
    void ChunkLengthSeen(std::uint64_t length) override { inner.ChunkLengthSeen(length); }

    // Whether the bytes written have the entry's size and digest (letter case aside).
    bool Matches(const HashEntry& entry) {
        if (!handOff)
            return false;
        handOff->Drain();
        std::optional<Md5Digest> digest = digested ? hasher->Finish() : std::nullopt;
        return digest && SameEntry(entry, written, BytesToHex(*digest));
    }

private:
    static constexpr std::uint64_t kThreadedDigestSize = 4u << 20;
    static constexpr std::size_t kHandOffSize = 1u << 20;

    void StartOver() {
        handOff.reset();
        hasher = Md5Hasher::Create();
        digested = hasher.has_value();
        written = 0;
        if (!hasher)
            return;
        handOff.emplace(
            kHandOffSize,
            [this](std::span<const std::uint8_t> bytes) {
                digested = digested && hasher->Update(bytes.data(), bytes.size());
            },
            onOwnThread);
    }

    HeldChunkChannel& inner;
    bool onOwnThread;
    std::optional<Md5Hasher> hasher;
    bool digested = false;
    std::optional<HandOffThread> handOff;  // after hasher: ends before it
    std::uint64_t written = 0;
};

// The chunk requests of one repair: from the mirrors first when there are any, digested.
struct RepairChannels {
    RepairChannels(LauncherApi& api, const HashEntry& entry, MirrorSet* mirrors)
        : server(api, entry.id),
          sources(
              server, mirrors, [&entry](const std::string& base) { return FileObjectUrl(base, entry.hash); },
              entry.size, entry.path),
          digesting(sources, entry.size) {}

    FileChunkChannel server;
    MirroredChannel sources;
    DigestingChannel digesting;
};

// The file the repair replaces and a part of it already hold their bytes, so both count as free;
// a repair that still does not fit is refused before anything is written.
void RequireRoomFor(const HashEntry& entry, const std::wstring& pathW, std::uint64_t keptBytes) {
    const std::uint64_t replaced = GetFileSize(pathW).value_or(0);
    if (!DiskSpaceFits(pathW, entry.size, replaced + keptBytes))
        throw std::runtime_error("Not enough disk space: " + entry.path);
}

bool PartIsTheEntry(const HashEntry& entry, const std::wstring& partPath) {
    const std::optional<std::uint64_t> size = GetFileSize(partPath);
    return size && SameEntry(entry, *size, *size == entry.size ? ComputeFileMd5(partPath) : std::string());
}

DownloadPlan RepairPlan(const HashEntry& entry, Pipeline pipeline) {
    return {.target = EntryWidePath(entry), .subject = entry.path, .totalSize = entry.size, .pipeline = pipeline};
}

// Runs the download with the reports of a repair and throws its failure texts.
void Repair(ChunkChannel& channel,
            const DownloadPlan& plan,
            const HashEntry& entry,
            const ProgressCallback& progress) {
    DownloadProgress onChunk;
    if (progress) {
        onChunk = [&](std::uint32_t written, std::uint32_t size) {
            progress(L"Repairing " + plan.target, PercentOf(written, size));
        };
    }
    const DownloadResult result = DownloadChunks(channel, plan, onChunk);
    switch (result.end) {
        case DownloadEnd::Done:
            return;
        case DownloadEnd::CannotOpen:
            throw std::runtime_error("Cannot create local file: " + entry.path);
        case DownloadEnd::LoopFailed:
            // An empty chunk is reported like every other before it fails the download.
            if (result.status == ChunkLoopStatus::EmptyChunk && onChunk)
                onChunk(result.written, entry.size);
            throw std::runtime_error(FailureText(result.status) + entry.path);
        case DownloadEnd::Refused:
            throw std::runtime_error("Downloaded file differs from the server's list: " + entry.path);
        default:
            throw std::runtime_error("Failed writing file: " + entry.path);
    }
}

// A repair written over the file itself.
void RepairInPlace(ChunkChannel& channel,
                   const DownloadPlan& plan,
                   const HashEntry& entry,
                   const ProgressCallback& progress) {
    RequireSafeEntryPath(entry.path);
    RequireRoomFor(entry, plan.target, 0);
    Repair(channel, plan, entry, progress);
}

// A repair over the file itself whose bytes are digested as they arrive. A file from a mirror
// that differs is fetched again from the next source; one from the server is held to the entry
// only when checkServer says so.
void DownloadDigested(LauncherApi& api,
                      const HashEntry& entry,
                      const ProgressCallback& progress,
                      const BesideRepair& how,
                      bool checkServer) {
    RepairChannels channels(api, entry, how.mirrors);
    DigestingChannel& channel = channels.digesting;
    DownloadPlan plan = RepairPlan(entry, how.pipeline);
    // Requests sent ahead assume that the server answers in order, and a download after a
    // reconnection that the file did not change on the server meanwhile: the digest checks both.
    plan.check = [&](const std::wstring&, bool) {
        return (!checkServer && channel.FromServer()) || channel.Matches(entry);
    };
    RepairInPlace(channel, plan, entry, progress);
    channels.sources.NoteServed();
}

}  // namespace

bool DownloadGameFile(LauncherApi& api,
                      const HashEntry& entry,
                      ProgressCallback progress,
                      Pipeline pipeline,
                      MirrorSet* mirrors) {
    if (pipeline.AsksAhead())
        return DownloadGameFileChecked(api, entry, progress, pipeline, mirrors);
    if (mirrors) {
        DownloadDigested(api, entry, progress, {.pipeline = pipeline, .mirrors = mirrors}, false);
        return true;
    }
    FileChunkChannel channel(api, entry.id);
    return DownloadGameFileFrom(entry, channel, progress, pipeline);
}

bool DownloadGameFileChecked(LauncherApi& api,
                             const HashEntry& entry,
                             const ProgressCallback& progress,
                             Pipeline pipeline,
                             MirrorSet* mirrors) {
    DownloadDigested(api, entry, progress, {.pipeline = pipeline, .mirrors = mirrors}, true);
    return true;
}

bool DownloadGameFileFrom(const HashEntry& entry,
                          ChunkChannel& channel,
                          const ProgressCallback& progress,
                          Pipeline pipeline) {
    RepairInPlace(channel, RepairPlan(entry, pipeline), entry, progress);
    return true;
}

bool DownloadGameFileBeside(LauncherApi& api,
                            const HashEntry& entry,
                            const ProgressCallback& progress,
                            const BesideRepair& how) {
    RequireSafeEntryPath(entry.path);
    DownloadPlan plan = RepairPlan(entry, how.pipeline);
    plan.placement = Placement::PartRenamedOver;
    // A part left from before is continued or written over from 0: either way its bytes are free.
    RequireRoomFor(entry, plan.target, GetFileSize(PartialPath(plan.target)).value_or(0));
    if (how.keepPart) {
        plan.resumeRecord = GameFilePartRecord(entry.size, entry.hash);
        plan.keepPartOnBadAnswer = true;
    }
    RepairChannels channels(api, entry, how.mirrors);
    DigestingChannel& channel = channels.digesting;
    // A part fetched whole was digested as it arrived, a continued one is read again. checkPart
    // names the reason first when a part fetched whole from the server differs (under a key, a
    // signature that does not hold); one from a mirror is fetched again instead.
    plan.check = [&](const std::wstring& partPath, bool continued) {
        const bool matches = continued ? PartIsTheEntry(entry, partPath) : channel.Matches(entry);
        if ((matches || (!continued && channel.FromServer())) && how.checkPart)
            how.checkPart(partPath);
        return matches;
    };
    Repair(channel, plan, entry, progress);
    channels.sources.NoteServed();
    return true;
}

}  // namespace ombrelta
