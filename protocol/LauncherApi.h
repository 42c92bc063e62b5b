#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Socket.h"
#include "protocol/HashEntry.h"
#include "protocol/PatchInfo.h"

namespace ombrelta {

/// Client end of the launcher server protocol: one TCP connection carrying length-framed packets.
/// Used by one worker thread at a time; Close() may also be called from another thread, which
/// makes a blocked send or receive fail.
class LauncherApi {
public:
    LauncherApi();
    ~LauncherApi();
    LauncherApi(const LauncherApi&) = delete;
    LauncherApi& operator=(const LauncherApi&) = delete;

    /// Closes any old socket and connects to dotted IPv4 host and the low 16 bits of port;
    /// false on failure (names are never resolved).
    bool Connect(const std::wstring& host, std::int32_t port);
    /// Shuts down and closes the socket if there is one.
    void Close();
    bool IsConnected() const { return connected.load(); }

    /// Sends one framed packet; false for an empty or oversized payload or a failed send
    /// (which closes the connection).
    bool SendPacket(const std::vector<std::uint8_t>& payload);
    /// Receives one packet into payload; false on failure (a received length of 2 or less
    /// keeps the connection, every other failure closes it).
    bool ReceivePacket(std::vector<std::uint8_t>& payload);

    // Messages. Each sends one request and reads one answer; every failure throws
    // std::runtime_error with the message's fixed text.

    /// HAS_NEXT_PATCH: true when the server has a patch that follows version.
    bool HasNextPatch(std::uint16_t version, const std::string& clientName, const std::string& clientTag);
    /// GET_NEXT_PATCH: the patch that follows version (found false: none).
    PatchInfo GetNextPatch(std::uint16_t version);
    /// GET_PATCH_CHUNK: archive bytes of patch version from offset; sets last.
    std::vector<std::uint8_t> GetPatchChunk(std::uint16_t version, std::uint32_t offset, bool& last);
    /// HASH_LIST_REQUEST: the server's list of game files.
    std::vector<HashEntry> GetHashList(const std::string& clientName);
    /// FILE_CHUNK: bytes of game file fileId from offset; sets last.
    std::vector<std::uint8_t> GetFileChunk(std::uint16_t fileId, std::uint32_t offset, bool& last);

private:
    std::atomic<SocketHandle> socket{kInvalidSocket};
    std::atomic<bool> connected{false};
};

}  // namespace ombrelta
