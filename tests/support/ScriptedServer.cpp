#include "tests/support/ScriptedServer.h"

#include <utility>

#include <gtest/gtest.h>

#include "common/Text.h"
#include "tests/support/LoopbackListener.h"

namespace ombrelta::test {
namespace {

// Accepting waits in short slices so that the server thread notices the destructor; reads block
// (waiting for readiness in slices costs milliseconds per packet under Wine) and the destructor
// wakes them by shutting the connection down.
constexpr std::uint32_t kAcceptSliceMs = 20;

bool SendAllBytes(SocketHandle connection, const Bytes& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        int count = SendSome(connection, bytes.data() + sent, bytes.size() - sent);
        if (count <= 0)
            return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

}  // namespace

Reply Reply::Payload(const Bytes& payload) {
    std::size_t length = payload.size() + 2;
    Bytes packet{static_cast<std::uint8_t>(length & 0xFFu), static_cast<std::uint8_t>((length >> 8) & 0xFFu)};
    packet.insert(packet.end(), payload.begin(), payload.end());
    return Reply{std::move(packet), Then::Continue};
}

Reply Reply::Raw(Bytes bytes) {
    return Reply{std::move(bytes), Then::Continue};
}

Reply Reply::Close(Bytes bytesFirst) {
    return Reply{std::move(bytesFirst), Then::Close};
}

Reply Reply::Stall(Bytes bytesFirst) {
    return Reply{std::move(bytesFirst), Then::Stall};
}

ScriptedServer::ScriptedServer(Handler handler, AddressFamily family)
    : handler(std::move(handler)), family(family) {
    SocketLibraryStartup();
    std::optional<std::uint16_t> listening = ListenOnLoopback(listener, family);
    EXPECT_TRUE(listening.has_value()) << "the scripted server cannot listen on " << WideToUtf8(Host());
    if (!listening)
        return;
    port = *listening;
    thread = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    {
        std::lock_guard lock(mutex);
        stopping.store(true);
        // Only shut down here: the server thread still owns the handle and closes it.
        if (current != kInvalidSocket)
            ShutdownSocket(current);
    }
    if (thread.joinable())
        thread.join();
    for (SocketHandle connection : stalled)
        ShutdownAndClose(connection);
    if (listener != kInvalidSocket)
        CloseSocket(listener);
    SocketLibraryCleanup();
}

void ScriptedServer::Run() {
    while (!stopping.load()) {
        if (!WaitReadable(listener, kAcceptSliceMs))
            continue;
        SocketHandle connection = AcceptConnection(listener);
        if (connection == kInvalidSocket)
            continue;
        {
            std::lock_guard lock(mutex);
            if (stopping.load()) {
                CloseSocket(connection);
                return;
            }
            connections.emplace_back();
            current = connection;
        }
        Serve(connection);
        std::lock_guard lock(mutex);
        current = kInvalidSocket;
    }
}

void ScriptedServer::Serve(SocketHandle connection) {
    Bytes pending;
    Bytes packet;
    while (ReadRequest(connection, pending, packet)) {
        Record(packet);
        Reply reply = handler(Bytes(packet.begin() + 2, packet.end()));
        bool sent = SendAllBytes(connection, reply.bytes);
        if (reply.then == Reply::Then::Stall) {
            std::lock_guard lock(mutex);
            stalled.push_back(connection);
            return;
        }
        if (!sent || reply.then == Reply::Then::Close)
            break;
    }
    ShutdownAndClose(connection);
}

bool ScriptedServer::ReadRequest(SocketHandle connection, Bytes& pending, Bytes& packet) {
    if (!Fill(connection, pending, 2))
        return false;
    std::size_t length = pending[0] + 256u * pending[1];
    if (length <= 2 || !Fill(connection, pending, length))
        return false;
    packet.assign(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
    return true;
}

bool ScriptedServer::Fill(SocketHandle connection, Bytes& pending, std::size_t size) {
    // Reads whatever has arrived, not just what is needed: every recv is costly under Wine.
    std::uint8_t buffer[65536];
    while (pending.size() < size) {
        if (stopping.load())
            return false;
        int count = ReceiveSome(connection, buffer, sizeof(buffer));
        if (count <= 0) {
            if (!stopping.load())
                MarkPeerClosed();
            return false;
        }
        pending.insert(pending.end(), buffer, buffer + count);
    }
    return true;
}

void ScriptedServer::Record(Bytes packet) {
    std::lock_guard lock(mutex);
    connections.back().requests.push_back(std::move(packet));
}

void ScriptedServer::MarkPeerClosed() {
    std::lock_guard lock(mutex);
    connections.back().peerClosed = true;
}

std::vector<Bytes> ScriptedServer::Requests() const {
    std::lock_guard lock(mutex);
    std::vector<Bytes> all;
    for (const ServedConnection& connection : connections)
        all.insert(all.end(), connection.requests.begin(), connection.requests.end());
    return all;
}

std::vector<Bytes> ScriptedServer::RequestPayloads() const {
    std::vector<Bytes> payloads = Requests();
    for (Bytes& payload : payloads)
        payload.erase(payload.begin(), payload.begin() + 2);
    return payloads;
}

std::vector<ServedConnection> ScriptedServer::Connections() const {
    std::lock_guard lock(mutex);
    return connections;
}

PayloadBuilder& PayloadBuilder::U8(std::uint8_t value) {
    bytes.push_back(value);
    return *this;
}

PayloadBuilder& PayloadBuilder::U16(std::uint16_t value) {
    return U8(static_cast<std::uint8_t>(value & 0xFFu)).U8(static_cast<std::uint8_t>(value >> 8));
}

PayloadBuilder& PayloadBuilder::U32(std::uint32_t value) {
    return U16(static_cast<std::uint16_t>(value & 0xFFFFu)).U16(static_cast<std::uint16_t>(value >> 16));
}

PayloadBuilder& PayloadBuilder::I64(std::int64_t value) {
    auto bits = static_cast<std::uint64_t>(value);
    return U32(static_cast<std::uint32_t>(bits & 0xFFFFFFFFu)).U32(static_cast<std::uint32_t>(bits >> 32));
}

PayloadBuilder& PayloadBuilder::Str(std::string_view text) {
    return U8(static_cast<std::uint8_t>(text.size() & 0xFFu)).Raw(text);
}

PayloadBuilder& PayloadBuilder::Raw(const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
}

PayloadBuilder& PayloadBuilder::Raw(std::string_view more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
}

std::uint16_t RequestCode(const Bytes& payload) {
    return U16At(payload, 0);
}

std::uint16_t U16At(const Bytes& payload, std::size_t offset) {
    if (payload.size() < offset + 2)
        return 0;
    return static_cast<std::uint16_t>(payload[offset] | (payload[offset + 1] << 8));
}

std::uint32_t U32At(const Bytes& payload, std::size_t offset) {
    if (payload.size() < offset + 4)
        return 0;
    return U16At(payload, offset) | (static_cast<std::uint32_t>(U16At(payload, offset + 2)) << 16);
}

Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace ombrelta::test
