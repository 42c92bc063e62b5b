#include "verify/BlockRepair.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>

#include "common/BlockMap.h"
#include "common/DiskSpace.h"
#include "common/FileSystem.h"
#include "common/Hex.h"
#include "common/MirrorUrl.h"
#include "common/ProgressEvents.h"
#include "common/PartialDownload.h"
#include "protocol/ChunkChannels.h"
#include "protocol/MirroredChannel.h"
#include "verify/EntryFile.h"
#include "verify/FileHash.h"

namespace ombrelta {
namespace {

// A mirror without the map (one laid out before block maps) is no fault of its file bytes, so
// it stays in use for them.
std::optional<BlockMap> MapFromMirrors(const HashEntry& entry, MirrorSet* mirrors) {
    if (!mirrors)
        return std::nullopt;
    const std::size_t mapSize = kBlockMapHeaderSize + 16 * BlockCount(entry.size);
    for (std::size_t i = mirrors->NextUsable(0); i < mirrors->Count(); i = mirrors->NextUsable(i + 1)) {
        const std::string url = BlockMapUrl(mirrors->Base(i), entry.hash);
        HttpClient& client = mirrors->Client(i);
        if (url.empty() || !client.Open(url, {.from = 0, .to = mapSize, .size = mapSize}))
            continue;
        std::vector<std::uint8_t> bytes;
        std::optional<std::span<const std::uint8_t>> piece;
        while ((piece = client.Read()) && !piece->empty() && bytes.size() + piece->size() <= mapSize)
            bytes.insert(bytes.end(), piece->begin(), piece->end());
        if (std::optional<BlockMap> map = ParseBlockMap(bytes))
            return map;
    }
    return std::nullopt;
}

std::optional<BlockMap> MapFromServer(LauncherApi& api, const HashEntry& entry, bool* serverLacksMaps) {
    if (serverLacksMaps && *serverLacksMaps)
        return std::nullopt;
    try {
        return ParseBlockMap(api.GetBlockMap(entry.id));
    } catch (const std::runtime_error&) {
        // A malformed answer leaves the connection in step; a closed one is what an older
        // server does, and the run's reconnection goes on without asking it again.
        if (api.IsConnected())
            return std::nullopt;
        if (serverLacksMaps)
            *serverLacksMaps = true;
        throw;
    }
}

bool MapIsTheEntry(const BlockMap& map, const HashEntry& entry) {
    return map.fileSize == entry.size && SameMd5Text(BytesToHex(map.fileMd5), entry.hash);
}

// Requests kept in flight within a block: up to `pipeline`, 16 for `auto`; a block of the
// largest chunks takes 17.
std::size_t WindowOf(Pipeline pipeline) {
    return pipeline.IsAuto() ? 16 : static_cast<std::size_t>(std::max(pipeline.Count(), 1));
}

// Fetches the bytes of one repair's damaged blocks, one block at a time into memory, so that a
// mirror failing part way has the block fetched again from the next source.
class BlockFetcher {
public:
    BlockFetcher(LauncherApi& api,
                 const HashEntry& entry,
                 const BlockRepairSources& sources,
                 const ProgressCallback& progress,
                 std::uint64_t toFetch)
        : entry(entry),
          server(api, entry.id),
          channel(
              server,
              sources.mirrors,
              [&entry](const std::string& base) { return FileObjectUrl(base, entry.hash); },
              entry.size,
              entry.path),
          progress(progress),
          toFetch(toFetch),
          reported(L"Repairing " + EntryWidePath(entry)),
          window(WindowOf(sources.pipeline)) {
        if (window > 1)
            server.SendRequestsAtOnce();
    }

    // The length bytes from offset, which lie inside the file.
    const std::vector<std::uint8_t>& Fetch(std::uint64_t offset, std::size_t length) {
        for (;;) {
            try {
                return FetchFromCurrent(offset, length);
            } catch (const SourceFault&) {
                channel.NextSource();
                Started();
            }
        }
    }

    // The download events of the repair run over the bytes fetched, as its percent does.
    void Started() {
        Notify(Events(), {.kind = ProgressEventKind::DownloadStarted,
                          .subject = entry.path,
                          .done = fetched,
                          .total = toFetch,
                          .detail = channel.Source()});
    }

    void Ended(const std::string& cause) {
        Notify(Events(), {.kind = ProgressEventKind::DownloadEnded,
                          .subject = entry.path,
                          .done = fetched,
                          .total = toFetch,
                          .seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(),
                          .window = channel.FromServer() ? static_cast<int>(window) : 1,
                          .detail = cause});
    }

    void NoteServed() const { channel.NoteServed(); }

private:
    // With `pipeline`, once an answer has shown the server's chunk length the rest of the block
    // is asked for at the offsets it implies, several requests in flight (the server answers in
    // order). An answer of another length before the block's end shows those offsets wrong: the
    // answers still due are dropped and the rest is asked for one request at a time.
    const std::vector<std::uint8_t>& FetchFromCurrent(std::uint64_t offset, std::size_t length) {
        block.clear();
        const std::uint64_t end = offset + length;
        channel.EndRequestsAt(end);
        std::uint64_t chunk = 0;
        std::size_t due = 0;
        try {
            while (block.size() < length) {
                const std::size_t inFlight = channel.FromServer() ? window : 1;
                std::uint64_t at = offset + block.size();
                do {
                    Ask(at);
                    ++due;
                    at += chunk;
                } while (chunk != 0 && at < end && due < inFlight);
                for (; due > 0; --due) {
                    const std::uint64_t got = Take(length);
                    if (chunk == 0)
                        chunk = got;
                    else if (got != chunk && block.size() < length)
                        window = 1;
                    if (window == 1 && due > 1) {
                        DropAnswers(due - 1);
                        due = 1;
                    }
                }
            }
        } catch (...) {
            DropAnswers(due > 0 ? due - 1 : 0);
            throw;
        }
        return block;
    }

    void Ask(std::uint64_t at) {
        if (ChunkTraffic* traffic = channel.Traffic())
            traffic->BeforeRequest();
        channel.Request(static_cast<std::uint32_t>(at));
    }

    // The next answer, its bytes inside the block appended; its length.
    std::uint64_t Take(std::size_t length) {
        bool last = false;
        const std::uint64_t got = channel.Receive(last);
        const std::span<const std::uint8_t> held = channel.Held();
        const std::size_t useful = std::min<std::size_t>(held.size(), length - block.size());
        fetched += useful;
        if (ChunkTraffic* traffic = channel.Traffic())
            traffic->Received(got, {.written = static_cast<std::uint32_t>(fetched), .total = static_cast<std::uint32_t>(toFetch)});
        if (got == 0 && !last)
            throw std::runtime_error("Server returned empty chunk: " + entry.path);
        block.insert(block.end(), held.begin(), held.begin() + static_cast<std::ptrdiff_t>(useful));
        if (progress)
            progress(reported, PercentOf(fetched, toFetch));
        if (last && block.size() < length)
            throw std::runtime_error("Server returned empty chunk: " + entry.path);
        return got;
    }

    void DropAnswers(std::size_t count) {
        for (; count > 0; --count)
            (void)channel.Discard();
    }

    const ProgressSink& Events() {
        static const ProgressSink none;
        ChunkTraffic* traffic = channel.Traffic();
        return traffic ? traffic->Events() : none;
    }

    const HashEntry& entry;
    FileChunkChannel server;
    MirroredChannel channel;
    const ProgressCallback& progress;
    std::uint64_t toFetch;
    std::uint64_t fetched = 0;
    std::wstring reported;
    std::size_t window;
    std::vector<std::uint8_t> block;
    std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
};

// Writes the file's blocks into the part in order: kept ones from the local file, the others
// fetched. Nothing when the local file cannot be read or the part written.
std::optional<Md5Digest> Assemble(const std::wstring& pathW,
                                  const std::wstring& partPath,
                                  const BlockMap& map,
                                  const std::vector<bool>& damaged,
                                  BlockFetcher& fetcher) {
    std::optional<File> local = File::OpenRead(pathW);
    std::optional<File> part = File::OpenWrite(partPath);
    std::optional<Md5Hasher> md5 = Md5Hasher::Create();
    if (!local || !part || !md5)
        return std::nullopt;
    std::vector<std::uint8_t> kept(kMapBlockSize);
    for (std::size_t i = 0; i < map.blocks.size(); ++i) {
        const std::uint64_t offset = static_cast<std::uint64_t>(i) * kMapBlockSize;
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(kMapBlockSize, map.fileSize - offset));
        const std::uint8_t* bytes = kept.data();
        if (damaged[i]) {
            bytes = fetcher.Fetch(offset, length).data();
        } else if (local->ReadAt(offset, kept.data(), length) != std::optional<std::size_t>(length)) {
            return std::nullopt;
        }
        if (!part->Write(bytes, length) || !md5->Update(bytes, length))
            return std::nullopt;
    }
    if (!part->Close())
        return std::nullopt;
    return md5->Finish();
}

// The part replaces the file only once it is the entry's and checkPart accepts it.
bool PlaceChecked(const HashEntry& entry,
                  const std::wstring& pathW,
                  const std::wstring& partPath,
                  const std::optional<Md5Digest>& digest,
                  const BlockRepairSources& sources) {
    if (!digest || GetFileSize(partPath) != std::optional<std::uint64_t>(entry.size) ||
        !SameMd5Text(BytesToHex(*digest), entry.hash))
        return false;
    if (sources.checkPart) {
        try {
            sources.checkPart(partPath);
        } catch (const std::runtime_error&) {
            return false;
        }
    }
    return RenameFileReplacing(partPath, pathW);
}

}  // namespace

bool BlockRepairApplies(const HashEntry& entry) {
    return HasBlockMap(entry.size) &&
           GetFileSize(EntryWidePath(entry)) == std::optional<std::uint64_t>(entry.size);
}

bool RepairByBlocks(LauncherApi& api,
                    const HashEntry& entry,
                    std::vector<BlockDigest> localBlocks,
                    const ProgressCallback& progress,
                    const BlockRepairSources& sources) {
    const std::wstring pathW = EntryWidePath(entry);
    const std::wstring partPath = PartialPath(pathW);
    if ((sources.keepPart && PathExists(PartialRecordPath(partPath))) || !DiskSpaceFits(pathW, entry.size, 0))
        return false;
    std::optional<BlockMap> map = MapFromMirrors(entry, sources.mirrors);
    if (!map)
        map = MapFromServer(api, entry, sources.serverLacksMaps);
    if (!map || !MapIsTheEntry(*map, entry))
        return false;
    // Read only once a usable map is in hand.
    if (localBlocks.empty())
        localBlocks = HashFile(pathW, true).blocks;
    if (localBlocks.size() != map->blocks.size())
        return false;
    std::vector<bool> damaged(localBlocks.size());
    std::uint64_t toFetch = 0;
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        damaged[i] = localBlocks[i] != map->blocks[i];
        if (damaged[i])
            toFetch += std::min<std::uint64_t>(kMapBlockSize,
                                               entry.size - i * static_cast<std::uint64_t>(kMapBlockSize));
    }
    if (toFetch == 0)
        return false;
    BlockFetcher fetcher(api, entry, sources, progress, toFetch);
    fetcher.Started();
    std::optional<Md5Digest> digest;
    try {
        digest = Assemble(pathW, partPath, *map, damaged, fetcher);
    } catch (const std::exception& error) {
        fetcher.Ended(error.what());
        DiscardPartial(partPath);
        throw;
    }
    if (!PlaceChecked(entry, pathW, partPath, digest, sources)) {
        fetcher.Ended(digest ? "the repaired file failed its check" : "the part could not be written");
        DiscardPartial(partPath);
        return false;
    }
    fetcher.Ended({});
    fetcher.NoteServed();
    return true;
}

}  // namespace ombrelta
