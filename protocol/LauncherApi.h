#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Socket.h"
#include "protocol/ChunkTraffic.h"
#include "protocol/ChunkWindow.h"
#include "protocol/HashEntry.h"
#include "protocol/PatchInfo.h"

namespace ombrelta {

/// How Connect reads its host.
enum class HostLookup {
    DottedIPv4Only,  ///< dotted IPv4 text only, connected for as long as the system tries
    ResolveNames,    ///< also host names and IPv6 literals, each address tried for 5 s at most
};

/// Client end of the launcher server protocol: one TCP connection carrying length-framed packets
/// (a 16-bit little-endian length that counts itself, then 1 to 65533 payload bytes).
/// Used for messages by one worker thread at a time; Close() may also be called from another
/// thread, which makes a send or receive blocked on the connection fail at once.
class LauncherApi {
public:
    /// Starts the socket library; a failure there shows later as a failing Connect.
    LauncherApi();
    /// Closes the connection and ends the socket library.
    ~LauncherApi();
    LauncherApi(const LauncherApi&) = delete;
    LauncherApi& operator=(const LauncherApi&) = delete;

    /// Closes any old socket, then connects to host at the low 16 bits of port with 5000 ms send
    /// and receive timeouts. False on failure, with nothing left open. With DottedIPv4Only, host
    /// names and empty hosts fail without any traffic; with ResolveNames, the addresses of
    /// HostAddresses are tried in order through ConnectToFirst with a 5000 ms limit each.
    bool Connect(const std::wstring& host, std::int32_t port, HostLookup lookup = HostLookup::DottedIPv4Only);
    /// Closes any old socket, then connects to the first of addresses that accepts within
    /// attemptLimitMs, with the timeouts of Connect. False when none does (or there are none),
    /// and at once when a Close from another thread ends an attempt.
    bool ConnectToFirst(const std::vector<SocketAddress>& addresses, std::uint32_t attemptLimitMs);
    /// Shuts down and closes the socket if there is one and clears the connected state.
    /// Safe to call from another thread while a packet operation is blocked.
    void Close();
    /// The address of the open connection ("127.0.0.1:47000"); empty when none is open.
    std::string PeerAddress() const;
    /// True from a successful Connect until a failure or Close closes the connection.
    bool IsConnected() const { return connected.load(); }
    /// Sets what a message does when the first request after a successful connect finds the
    /// connection lost (its send fails, or its answer does not come: closed, reset, or the
    /// receive timeout): connectElsewhere connects this object to another server and returns
    /// true to have the request sent again there, or returns false to let the message fail with
    /// its usual text. Requests sent in halves (the chunk requests) never call it. Empty: off.
    void OnFirstAnswerLost(std::function<bool()> connectElsewhere) { firstAnswerLost = std::move(connectElsewhere); }
    /// The chunk data of every download over this object, across reconnections, and its limit.
    ChunkTraffic& Traffic() { return traffic; }

    /// Sends payload as one framed packet. False for an empty or oversized (over 65533 bytes)
    /// payload, which sends nothing and keeps the connection, and when not connected; false and
    /// closed when a send fails or times out.
    bool SendPacket(const std::vector<std::uint8_t>& payload);
    /// Receives one packet into payload (emptied first). False when not connected; false with
    /// the connection kept when the length field says 2 or less; false and closed when the
    /// peer closes, an error occurs or nothing arrives within the receive timeout.
    bool ReceivePacket(std::vector<std::uint8_t>& payload);

    // Messages: each sends one request packet and reads one answer packet. Every failure throws
    // std::runtime_error with the message's fixed text (its send-failure text, its empty-answer
    // text, its invalid-answer text, or the packet reader's "... out of range" text), and leaves
    // the connection as the packet operations left it.

    /// HAS_NEXT_PATCH: true when the server has a patch that follows version. Client texts over
    /// 255 bytes throw "String Too Long" before anything is sent.
    bool HasNextPatch(std::uint16_t version, const std::string& clientName, const std::string& clientTag);
    /// GET_NEXT_PATCH: the patch that follows version (found false: none).
    PatchInfo GetNextPatch(std::uint16_t version);
    /// GET_PATCH_CHUNK: archive bytes of patch version from offset (empty for a chunk size of 0
    /// or less); last is false until the answer's last flag has been read, then whether it is 1.
    std::vector<std::uint8_t> GetPatchChunk(std::uint16_t version, std::uint32_t offset, bool& last);
    /// HASH_LIST_REQUEST: the server's list of game files. A name over 255 bytes throws
    /// "String Too Long" before anything is sent.
    std::vector<HashEntry> GetHashList(const std::string& clientName);
    /// HAS_NEXT_PATCH and HASH_LIST_REQUEST for listName sent back to back, for a server that
    /// answers in order: whether a patch follows version, as HasNextPatch. Without one, list
    /// receives the server's list; with one, the list's answer is read and dropped, leaving no
    /// answer still to come. Texts over 255 bytes throw "String Too Long" before anything is
    /// sent; the question's failures throw HasNextPatch's texts (a list request that cannot go
    /// out fails its answer), the list's those of GetHashList.
    bool HasNextPatchAndList(std::uint16_t version,
                             const std::string& clientName,
                             const std::string& clientTag,
                             const std::string& listName,
                             std::optional<std::vector<HashEntry>>& list);
    /// FILE_CHUNK: bytes of game file fileId from offset, with last as for GetPatchChunk; a chunk
    /// announced longer than the bytes that came throws "Hash chunk size mismatch. ...".
    std::vector<std::uint8_t> GetFileChunk(std::uint16_t fileId, std::uint32_t offset, bool& last);

    /// GET_BLOCK_MAP, asked piece by piece: the bytes of game file fileId's block map (see
    /// BlockMap.h), empty when the server has none for it. Pieces that do not add up to the size
    /// the first announced (or a size over the largest map) throw "Invalid block map response.".
    /// An older server closes the connection on this request: "Empty block map response.".
    std::vector<std::uint8_t> GetBlockMap(std::uint16_t fileId);

    // The two halves of the chunk messages, for keeping several requests in flight: the server
    // answers requests sent back to back in the order it received them. Each half throws the
    // texts of its message's send or answer side.

    /// Makes the connection send each request at once instead of holding it back until earlier
    /// ones are acknowledged, which would stall requests kept in flight. Lasts until the next
    /// Connect; does nothing when not connected.
    void SendRequestsAtOnce();
    /// Sends a GET_PATCH_CHUNK request without waiting for its answer.
    void SendPatchChunkRequest(std::uint16_t version, std::uint32_t offset);
    /// Reads the next answer as a GET_PATCH_CHUNK answer; the result and last as GetPatchChunk.
    std::vector<std::uint8_t> ReceivePatchChunk(bool& last);
    /// Sends a FILE_CHUNK request without waiting for its answer.
    void SendFileChunkRequest(std::uint16_t fileId, std::uint32_t offset);
    /// Reads the next answer as the FILE_CHUNK answer to the request for fileId at offset; the
    /// result and last as GetFileChunk.
    std::vector<std::uint8_t> ReceiveFileChunk(std::uint16_t fileId, std::uint32_t offset, bool& last);

    /// The self-sizing window of chunk requests over this object: the size one download reaches
    /// is where the next one starts, on this connection or the next one (the line is the same).
    ChunkWindow& AutoWindow() { return autoWindow; }

private:
    class SocketUse;
    enum class Outcome { Done, Refused, Failed };
    enum class Attempted { Connected, Failed, Cancelled };

    Attempted Attempt(AddressFamily family, const std::function<bool(SocketHandle)>& reach);
    SocketHandle AcquireSocket();
    void ReleaseSocket();
    void AdoptSocket(SocketHandle handle);
    Attempted Settle(SocketHandle handle, bool reached);
    Outcome SendFramed(const std::vector<std::uint8_t>& packet);
    Outcome ReceiveFramed(std::vector<std::uint8_t>& payload);
    void SendRequest(const std::vector<std::uint8_t>& request, const char* sendFailedText);
    std::vector<std::uint8_t> ReceiveAnswer(const char* emptyAnswerText);
    // Sends request (and followUp right behind it, whose answer the caller takes) and returns
    // request's answer; the first request after a connect that loses the connection is sent again
    // where OnFirstAnswerLost connects. Throws sendFailedText or emptyAnswerText.
    std::vector<std::uint8_t> Exchange(const std::vector<std::uint8_t>& request,
                                       const char* sendFailedText,
                                       const char* emptyAnswerText,
                                       const std::vector<std::uint8_t>* followUp = nullptr);

    std::atomic<SocketHandle> socket{kInvalidSocket};
    std::atomic<bool> connected{false};
    ChunkWindow autoWindow;
    std::function<bool()> firstAnswerLost;
    // Set by each successful connect, cleared by the first request sent.
    bool awaitingFirstAnswer = false;

    // Guards the handle's lifetime against a Close from another thread: packet operations in
    // flight, and a handle that Close has shut down but that one of them still holds.
    std::mutex handleMutex;
    int inFlight = 0;
    SocketHandle retiredSocket = kInvalidSocket;

    ChunkTraffic traffic;
};

}  // namespace ombrelta
