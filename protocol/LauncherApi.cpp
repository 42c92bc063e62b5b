#include "protocol/LauncherApi.h"

#include <stdexcept>
#include <utility>

#include "common/BlockMap.h"
#include "common/LittleEndian.h"
#include "common/Text.h"
#include "protocol/HashMessages.h"
#include "protocol/HostAddresses.h"
#include "protocol/PatchMessages.h"

namespace ombrelta {
namespace {

constexpr std::uint32_t kSocketTimeoutMs = 5000;
constexpr std::uint32_t kConnectLimitMs = 5000;
constexpr std::size_t kMaxPacketLength = 65535;
constexpr std::size_t kLengthFieldSize = 2;

bool SendAll(SocketHandle handle, const std::vector<std::uint8_t>& packet) {
    std::size_t sent = 0;
    while (sent < packet.size()) {
        int count = SendSome(handle, packet.data() + sent, packet.size() - sent);
        if (count <= 0)
            return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

bool ReceiveAll(SocketHandle handle, std::uint8_t* data, std::size_t size) {
    std::size_t received = 0;
    while (received < size) {
        int count = ReceiveSome(handle, data + received, size - received);
        if (count <= 0)
            return false;
        received += static_cast<std::size_t>(count);
    }
    return true;
}

// Reads the next answer, if one comes, and ignores it.
void DropAnswer(LauncherApi& api) {
    std::vector<std::uint8_t> dropped;
    (void)api.ReceivePacket(dropped);
}

}  // namespace

// Close() may run on another thread while a packet operation is blocked in send or recv. Close
// then only shuts the socket down, which makes the blocked call fail at once; the handle is
// released when the last operation holding it ends. So no send or recv is ever handed a handle
// that has been closed, or closed and given out again by the system for a new socket.
class LauncherApi::SocketUse {
public:
    explicit SocketUse(LauncherApi& api) : api(api), handle(api.AcquireSocket()) {}
    ~SocketUse() {
        if (handle != kInvalidSocket)
            api.ReleaseSocket();
    }
    SocketUse(const SocketUse&) = delete;
    SocketUse& operator=(const SocketUse&) = delete;

    LauncherApi& api;
    const SocketHandle handle;
};

LauncherApi::LauncherApi() {
    SocketLibraryStartup();
}

LauncherApi::~LauncherApi() {
    Close();
    if (retiredSocket != kInvalidSocket)
        CloseSocket(retiredSocket);
    SocketLibraryCleanup();
}

SocketHandle LauncherApi::AcquireSocket() {
    std::lock_guard lock(handleMutex);
    SocketHandle handle = socket.load();
    if (!connected.load() || handle == kInvalidSocket)
        return kInvalidSocket;
    ++inFlight;
    return handle;
}

void LauncherApi::ReleaseSocket() {
    std::lock_guard lock(handleMutex);
    --inFlight;
    if (inFlight == 0 && retiredSocket != kInvalidSocket) {
        CloseSocket(retiredSocket);
        retiredSocket = kInvalidSocket;
    }
}

void LauncherApi::AdoptSocket(SocketHandle handle) {
    std::lock_guard lock(handleMutex);
    socket.store(handle);
    ++inFlight;
}

LauncherApi::Attempted LauncherApi::Settle(SocketHandle handle, bool reached) {
    std::lock_guard lock(handleMutex);
    // A Close from another thread during the connect has already taken the handle away.
    if (socket.load() != handle)
        return Attempted::Cancelled;
    if (!reached)
        return Attempted::Failed;
    connected.store(true);
    awaitingFirstAnswer = true;
    return Attempted::Connected;
}

std::string LauncherApi::PeerAddress() const {
    const SocketHandle open = socket.load();
    return open == kInvalidSocket ? std::string() : PeerAddressText(open);
}

void LauncherApi::Close() {
    std::lock_guard lock(handleMutex);
    SocketHandle handle = socket.exchange(kInvalidSocket);
    connected.store(false);
    if (handle == kInvalidSocket)
        return;
    if (inFlight == 0) {
        ShutdownAndClose(handle);
        return;
    }
    ShutdownSocket(handle);
    retiredSocket = handle;
}

bool LauncherApi::Connect(const std::wstring& host, std::int32_t port, HostLookup lookup) {
    std::string hostText = WideToUtf8(host);
    Close();
    if (lookup == HostLookup::ResolveNames)
        return ConnectToFirst(HostAddresses(hostText, PortFromConfig(port)), kConnectLimitMs);
    auto reach = [&](SocketHandle handle) {
        std::optional<std::uint32_t> address = ParseIPv4(hostText);
        return address && ConnectSocket(handle, *address, PortFromConfig(port));
    };
    return Attempt(AddressFamily::IPv4, reach) == Attempted::Connected;
}

bool LauncherApi::ConnectToFirst(const std::vector<SocketAddress>& addresses, std::uint32_t attemptLimitMs) {
    Close();
    for (const SocketAddress& address : addresses) {
        auto reach = [&](SocketHandle handle) {
            return ConnectWithin(handle, address, attemptLimitMs) == ConnectResult::Connected;
        };
        Attempted result = Attempt(address.family, reach);
        if (result != Attempted::Failed)
            return result == Attempted::Connected;
    }
    return false;
}

// The new socket is held like a packet operation while reach connects it, so that a Close from
// another thread cannot release the handle under it.
LauncherApi::Attempted LauncherApi::Attempt(AddressFamily family,
                                            const std::function<bool(SocketHandle)>& reach) {
    SocketHandle handle = CreateTcpSocket(family);
    if (handle == kInvalidSocket)
        return Attempted::Failed;
    SetSocketTimeouts(handle, kSocketTimeoutMs);
    AdoptSocket(handle);
    bool reached = reach(handle);
    ReleaseSocket();
    Attempted result = Settle(handle, reached);
    if (result != Attempted::Connected)
        Close();
    return result;
}

LauncherApi::Outcome LauncherApi::SendFramed(const std::vector<std::uint8_t>& packet) {
    SocketUse use(*this);
    if (use.handle == kInvalidSocket)
        return Outcome::Refused;
    return SendAll(use.handle, packet) ? Outcome::Done : Outcome::Failed;
}

bool LauncherApi::SendPacket(const std::vector<std::uint8_t>& payload) {
    if (payload.empty())
        return false;
    std::size_t length = payload.size() + kLengthFieldSize;
    if (length > kMaxPacketLength)
        return false;
    std::vector<std::uint8_t> packet;
    packet.reserve(length);
    AppendLittleEndian(packet, static_cast<std::uint16_t>(length));
    packet.insert(packet.end(), payload.begin(), payload.end());
    Outcome outcome = SendFramed(packet);
    if (outcome == Outcome::Failed)
        Close();
    return outcome == Outcome::Done;
}

LauncherApi::Outcome LauncherApi::ReceiveFramed(std::vector<std::uint8_t>& payload) {
    SocketUse use(*this);
    if (use.handle == kInvalidSocket)
        return Outcome::Refused;
    std::uint8_t header[kLengthFieldSize] = {};
    if (!ReceiveAll(use.handle, header, kLengthFieldSize))
        return Outcome::Failed;
    const std::size_t length = LoadLittleEndian<std::uint16_t>(header, 0);
    if (length <= kLengthFieldSize)
        return Outcome::Refused;
    payload.assign(length - kLengthFieldSize, 0);
    return ReceiveAll(use.handle, payload.data(), payload.size()) ? Outcome::Done : Outcome::Failed;
}

bool LauncherApi::ReceivePacket(std::vector<std::uint8_t>& payload) {
    payload.clear();
    Outcome outcome = ReceiveFramed(payload);
    if (outcome == Outcome::Failed) {
        payload.clear();
        Close();
    }
    return outcome == Outcome::Done;
}

void LauncherApi::SendRequest(const std::vector<std::uint8_t>& request, const char* sendFailedText) {
    awaitingFirstAnswer = false;
    if (!SendPacket(request))
        throw std::runtime_error(sendFailedText);
}

std::vector<std::uint8_t> LauncherApi::ReceiveAnswer(const char* emptyAnswerText) {
    std::vector<std::uint8_t> answer;
    if (!ReceivePacket(answer) || answer.empty())
        throw std::runtime_error(emptyAnswerText);
    return answer;
}

std::vector<std::uint8_t> LauncherApi::Exchange(const std::vector<std::uint8_t>& request,
                                                const char* sendFailedText,
                                                const char* emptyAnswerText,
                                                const std::vector<std::uint8_t>* followUp) {
    for (;;) {
        const bool first = std::exchange(awaitingFirstAnswer, false);
        std::vector<std::uint8_t> answer;
        const bool sent = SendPacket(request);
        // A follow-up that cannot go out has closed the connection: the answer then fails as it
        // would have without it.
        if (sent && followUp != nullptr)
            (void)SendPacket(*followUp);
        if (sent && ReceivePacket(answer) && !answer.empty())
            return answer;
        // Only a lost connection sends the request elsewhere: a refused payload or a short length
        // field leaves it open.
        if (!first || connected.load() || !firstAnswerLost || !firstAnswerLost())
            throw std::runtime_error(sent ? emptyAnswerText : sendFailedText);
    }
}

bool LauncherApi::HasNextPatch(std::uint16_t version,
                               const std::string& clientName,
                               const std::string& clientTag) {
    std::vector<std::uint8_t> answer =
        Exchange(BuildHasNextPatchRequest(version, clientName, clientTag),
                 "Failed to send has next patch request.", "Empty has next patch response.");
    return ParseHasNextPatchAnswer(answer);
}

bool LauncherApi::HasNextPatchAndList(std::uint16_t version,
                                      const std::string& clientName,
                                      const std::string& clientTag,
                                      const std::string& listName,
                                      std::optional<std::vector<HashEntry>>& list) {
    list.reset();
    const std::vector<std::uint8_t> question = BuildHasNextPatchRequest(version, clientName, clientTag);
    const std::vector<std::uint8_t> listRequest = BuildHashListRequest(listName);
    bool hasNext = false;
    try {
        hasNext = ParseHasNextPatchAnswer(Exchange(question, "Failed to send has next patch request.",
                                                   "Empty has next patch response.", &listRequest));
    } catch (...) {
        DropAnswer(*this);
        throw;
    }
    if (hasNext) {
        DropAnswer(*this);
        return true;
    }
    list = ParseHashListAnswer(ReceiveAnswer("Empty hash response."));
    return false;
}

PatchInfo LauncherApi::GetNextPatch(std::uint16_t version) {
    std::vector<std::uint8_t> answer =
        Exchange(BuildNextPatchRequest(version), "Failed to send get next patch request.",
                 "Empty get next patch response.");
    return ParseNextPatchAnswer(answer);
}

std::vector<std::uint8_t> LauncherApi::GetPatchChunk(std::uint16_t version,
                                                     std::uint32_t offset,
                                                     bool& last) {
    last = false;
    SendPatchChunkRequest(version, offset);
    return ReceivePatchChunk(last);
}

void LauncherApi::SendRequestsAtOnce() {
    SocketUse use(*this);
    if (use.handle != kInvalidSocket)
        SetNoDelay(use.handle);
}

void LauncherApi::SendPatchChunkRequest(std::uint16_t version, std::uint32_t offset) {
    SendRequest(BuildPatchChunkRequest(version, offset), "Failed to send patch chunk request.");
}

std::vector<std::uint8_t> LauncherApi::ReceivePatchChunk(bool& last) {
    last = false;
    return ParsePatchChunkAnswer(ReceiveAnswer("Empty patch chunk response."), last);
}

std::vector<HashEntry> LauncherApi::GetHashList(const std::string& clientName) {
    std::vector<std::uint8_t> answer =
        Exchange(BuildHashListRequest(clientName), "Failed to send hash request.", "Empty hash response.");
    return ParseHashListAnswer(answer);
}

std::vector<std::uint8_t> LauncherApi::GetFileChunk(std::uint16_t fileId, std::uint32_t offset, bool& last) {
    last = false;
    SendFileChunkRequest(fileId, offset);
    return ReceiveFileChunk(fileId, offset, last);
}

std::vector<std::uint8_t> LauncherApi::GetBlockMap(std::uint16_t fileId) {
    std::vector<std::uint8_t> map;
    std::uint32_t mapSize = 0;
    do {
        const BlockMapPiece piece =
            ParseBlockMapAnswer(Exchange(BuildBlockMapRequest(fileId, static_cast<std::uint32_t>(map.size())),
                                         "Failed to send block map request.", "Empty block map response."));
        if (map.empty())
            mapSize = piece.mapSize;
        if (piece.mapSize != mapSize || mapSize > kMaxBlockMapBytes ||
            piece.bytes.size() > mapSize - map.size() || (piece.bytes.empty() && mapSize != 0))
            throw std::runtime_error("Invalid block map response.");
        map.insert(map.end(), piece.bytes.begin(), piece.bytes.end());
    } while (map.size() < mapSize);
    return map;
}

void LauncherApi::SendFileChunkRequest(std::uint16_t fileId, std::uint32_t offset) {
    SendRequest(BuildFileChunkRequest(fileId, offset), "Failed to send hash file chunk request.");
}

std::vector<std::uint8_t> LauncherApi::ReceiveFileChunk(std::uint16_t fileId, std::uint32_t offset, bool& last) {
    last = false;
    return ParseFileChunkAnswer(ReceiveAnswer("Empty hash file chunk response."), fileId, offset, last);
}

}  // namespace ombrelta
