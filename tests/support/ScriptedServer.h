#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/Socket.h"

namespace ombrelta::test {

// A launcher server for tests, on 127.0.0.1 at an ephemeral port.
//
//     ScriptedServer server([](const Bytes& request) {
//         if (RequestCode(request) == 40104)
//             return Reply::Payload(PayloadBuilder().U16(40104).U8(0).Take());
//         return Reply::Close();
//     });
//     LauncherApi api;
//     ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
//     ...
//     EXPECT_EQ(server.Requests()[0], (Bytes{0x16, 0x00, 0xA8, 0x9C, ...}));
//
// It runs on its own thread and serves connections one after another: it reads a request
// packet (length field, then payload), records it, asks the handler for a Reply and carries it
// out, until the client closes or a Reply ends the connection; then it accepts the next one.
// The handler runs on the server thread; keep what it shares with the test in atomics or
// behind a mutex. Requests that are not well-framed (length 2 or less) end the connection.
// The destructor stops the thread and closes every socket, stalled ones included.

using Bytes = std::vector<std::uint8_t>;

/// What the server does with one request.
struct Reply {
    enum class Then {
        Continue,  ///< keep serving this connection
        Close,     ///< close the connection (the client sees the end of the stream)
        Stall,     ///< keep the connection open and silent until the server is destroyed
    };

    Bytes bytes;  ///< sent as they are, before Then
    Then then = Then::Continue;

    /// payload framed with its length field (payloads up to 65533 bytes).
    static Reply Payload(const Bytes& payload);
    /// bytes exactly as given: bad length fields, half packets, several packets at once.
    static Reply Raw(Bytes bytes);
    /// Sends bytesFirst (raw, maybe nothing), then closes the connection.
    static Reply Close(Bytes bytesFirst = {});
    /// Sends bytesFirst (raw, maybe nothing), then never answers on this connection again.
    static Reply Stall(Bytes bytesFirst = {});
};

/// Decides the reply to one request payload (length field removed).
using Handler = std::function<Reply(const Bytes& requestPayload)>;

/// Everything the server saw on one accepted connection.
struct ServedConnection {
    std::vector<Bytes> requests;  ///< raw request packets, length field included
    bool peerClosed = false;      ///< the client closed it (end of stream or error on read)
};

class ScriptedServer {
public:
    /// Starts listening (on ::1 for IPv6) and serving; fails the current test when no socket can
    /// listen.
    explicit ScriptedServer(Handler handler, AddressFamily family = AddressFamily::IPv4);
    /// Stops serving, joins the thread and closes every socket.
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    /// L"127.0.0.1", or L"::1" for IPv6.
    std::wstring Host() const { return family == AddressFamily::IPv6 ? L"::1" : L"127.0.0.1"; }
    /// The listening port.
    std::uint16_t Port() const { return port; }

    /// Every request packet so far, raw (length field included), over all connections.
    std::vector<Bytes> Requests() const;
    /// Every request payload so far (length field removed), over all connections.
    std::vector<Bytes> RequestPayloads() const;
    /// The connections accepted so far, in order, with what was seen on them.
    std::vector<ServedConnection> Connections() const;

private:
    void Run();
    void Serve(SocketHandle connection);
    bool ReadRequest(SocketHandle connection, Bytes& pending, Bytes& packet);
    bool Fill(SocketHandle connection, Bytes& pending, std::size_t size);
    void Record(Bytes packet);
    void MarkPeerClosed();

    Handler handler;
    AddressFamily family;
    SocketHandle listener = kInvalidSocket;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    SocketHandle current = kInvalidSocket;  // the connection being served, under mutex
    std::vector<SocketHandle> stalled;
    std::vector<ServedConnection> connections;
    std::thread thread;
};

/// Appends little-endian fields to build answer payloads (or any bytes) for a Reply.
class PayloadBuilder {
public:
    PayloadBuilder& U8(std::uint8_t value);
    PayloadBuilder& U16(std::uint16_t value);
    PayloadBuilder& U32(std::uint32_t value);
    PayloadBuilder& I64(std::int64_t value);
    /// A length byte (the low 8 bits of text's size) and the text's bytes.
    PayloadBuilder& Str(std::string_view text);
    /// Bytes as they are.
    PayloadBuilder& Raw(const Bytes& bytes);
    PayloadBuilder& Raw(std::string_view bytes);
    Bytes Take() { return std::move(bytes); }

private:
    Bytes bytes;
};

/// The first uint16 of a payload, or 0 when it has fewer than two bytes.
std::uint16_t RequestCode(const Bytes& payload);
/// The little-endian uint16 at offset, or 0 when the payload is shorter.
std::uint16_t U16At(const Bytes& payload, std::size_t offset);
/// The little-endian uint32 at offset, or 0 when the payload is shorter.
std::uint32_t U32At(const Bytes& payload, std::size_t offset);
/// The bytes of a text, for comparing with payloads.
Bytes ToBytes(std::string_view text);

}  // namespace ombrelta::test
