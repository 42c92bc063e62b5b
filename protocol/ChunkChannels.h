#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "protocol/ChunkLoop.h"
#include "protocol/HashMessages.h"
#include "protocol/LauncherApi.h"
#include "protocol/MessageCodes.h"
#include "protocol/PatchMessages.h"

namespace ombrelta {

/// A channel that holds the chunk received last in memory, where a channel wrapped around it
/// sees it too.
class HeldChunkChannel : public ChunkChannel {
public:
    /// The chunk received last.
    virtual std::span<const std::uint8_t> Held() const = 0;
    bool WriteTo(File& file) override {
        const std::span<const std::uint8_t> bytes = Held();
        return file.Write(bytes.data(), bytes.size());
    }
};

/// What both kinds of chunk requests share: the connection and the chunk received last. The
/// chunk length expected is the one the connection's latest download of the same kind showed,
/// before any the most an answer of that kind carries (what ombrelta-server sends by default).
class ApiChunkChannel : public HeldChunkChannel {
public:
    ApiChunkChannel(LauncherApi& api, std::uint16_t code, std::uint64_t largestChunk)
        : api(api), code(code), largestChunk(largestChunk) {}
    std::span<const std::uint8_t> Held() const override { return chunk; }
    bool Discard() override;
    ChunkTraffic* Traffic() override { return &api.Traffic(); }
    ChunkWindow* AutoWindow() override { return &api.AutoWindow(); }
    void SendRequestsAtOnce() override { api.SendRequestsAtOnce(); }
    std::uint64_t ExpectedChunkLength() override { return api.Traffic().ChunkLength(code, largestChunk); }
    void ChunkLengthSeen(std::uint64_t length) override { api.Traffic().NoteChunkLength(code, length); }

protected:
    LauncherApi& api;
    std::vector<std::uint8_t> chunk;

private:
    std::uint16_t code;
    std::uint64_t largestChunk;
};

/// GET_PATCH_CHUNK requests for the archive of one patch version; failures throw the texts of
/// LauncherApi::GetPatchChunk.
class PatchChunkChannel : public ApiChunkChannel {
public:
    PatchChunkChannel(LauncherApi& api, std::uint16_t version)
        : ApiChunkChannel(api, GET_PATCH_CHUNK, kLargestPatchChunk), version(version) {}
    void Request(std::uint32_t offset) override;
    std::uint64_t Receive(bool& last) override;

private:
    std::uint16_t version;
};

/// FILE_CHUNK requests for one game file; failures throw the texts of LauncherApi::GetFileChunk,
/// a size mismatch naming the offset of the request answered.
class FileChunkChannel : public ApiChunkChannel {
public:
    FileChunkChannel(LauncherApi& api, std::uint16_t fileId)
        : ApiChunkChannel(api, HASH_DATA, kLargestFileChunk), fileId(fileId) {}
    void Request(std::uint32_t offset) override;
    std::uint64_t Receive(bool& last) override;

private:
    std::uint16_t fileId;
    std::deque<std::uint32_t> offsets;  // of the requests not yet answered, oldest first
};

}  // namespace ombrelta
