#include "tools/server/ServerSession.h"

#include <exception>

namespace ombrelta::server {
namespace {

// A client hanging up between requests is the normal end of a connection, not an error.
bool IsOrdinaryEnd(const std::error_code& error) {
    return error == asio::error::eof || error == asio::error::operation_aborted;
}

std::string Describe(std::chrono::milliseconds timeout) {
    auto count = timeout.count();
    return count % 1000 == 0 ? std::to_string(count / 1000) + " s" : std::to_string(count) + " ms";
}

SentKind CarriedBy(RequestKind kind) {
    if (kind == RequestKind::PatchChunk)
        return SentKind::Patch;
    return kind == RequestKind::FileChunk ? SentKind::File : SentKind::Other;
}

}  // namespace

ServerSession::ServerSession(asio::ip::tcp::socket connection,
                             const SessionPeer& peer,
                             std::shared_ptr<const ServerContent> content,
                             ServerLog& log,
                             ServerMetrics& metrics,
                             SessionTimeouts timeouts,
                             ConnectionLimits::Ticket ticket)
    : socket(std::move(connection)),
      deadline(socket.get_executor()),
      content(std::move(content)),
      log(log),
      metrics(metrics),
      timeouts(timeouts),
      ticket(std::move(ticket)),
      address(peer.endpoint.address().to_string()),
      addressAndPort((peer.endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" +
                     std::to_string(peer.endpoint.port())),
      balancerCheck(peer.balancerCheck) {
    std::error_code error;
    // A launcher without `pipeline` awaits every answer before it asks again; Nagle's delay would
    // only stall the tail of each answer behind the client's delayed acknowledgement.
    socket.set_option(asio::ip::tcp::no_delay(true), error);
    if (!balancerCheck)
        metrics.ConnectionOpened();
}

ServerSession::~ServerSession() {
    if (balancerCheck) {
        metrics.HealthCheckEnded();
        return;
    }
    metrics.ConnectionClosed();
    Log("connection closed");
}

// Called on the acceptor's strand: the first steps move to the session's own, where its timer
// handler runs too.
void ServerSession::Start() {
    asio::dispatch(socket.get_executor(), [self = shared_from_this()] {
        self->Log("connection opened");
        self->Guarded([&] { self->WaitForRequest(); });
    });
}

// Whatever a step throws, bad_alloc included, ends this connection and no other.
template <typename Step>
void ServerSession::Guarded(Step step) {
    try {
        step();
    } catch (const std::exception& e) {
        Fail(std::string("error while serving: ") + e.what());
    }
}

void ServerSession::WaitForRequest() {
    Arm(timeouts.idle, "a request", TimeoutKind::Idle);
    // The first byte starts the request's own clock, so it is read on its own if need be.
    socket.async_read_some(asio::buffer(header),
                           [self = shared_from_this()](std::error_code error, std::size_t count) {
                               self->Guarded([&] {
                                   if (error) {
                                       if (!IsOrdinaryEnd(error))
                                           self->Log(error.message());
                                       self->End();
                                       return;
                                   }
                                   self->Arm(self->timeouts.request, "the rest of a request",
                                             TimeoutKind::Request);
                                   if (count == 1)
                                       self->ReadHeaderRest();
                                   else
                                       self->ReadPayload();
                               });
                           });
}

void ServerSession::ReadHeaderRest() {
    asio::async_read(socket, asio::buffer(header.data() + 1, 1),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         self->Guarded([&] {
                             if (error)
                                 return self->Broken(error);
                             self->ReadPayload();
                         });
                     });
}

void ServerSession::ReadPayload() {
    std::string why;
    std::optional<std::size_t> size = RequestPayloadSize(header[0], header[1], why);
    if (!size) {
        Count([](ServerMetrics& counted) { counted.RequestMalformed(); });
        return Fail(why);
    }
    payloadSize = *size;
    asio::async_read(socket, asio::buffer(payload.data(), payloadSize),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         self->Guarded([&] {
                             if (error)
                                 return self->Broken(error);
                             self->HandleRequest();
                         });
                     });
}

void ServerSession::HandleRequest() {
    requestEnd = std::chrono::steady_clock::now();
    std::span<const std::uint8_t> bytes(payload.data(), payloadSize);
    RequestKind kind = KindOfRequest(bytes);
    Count([kind](ServerMetrics& counted) { counted.RequestReceived(kind); });
    std::string why;
    std::optional<Request> request = ParseRequest(bytes, why);
    if (!request) {
        Count([](ServerMetrics& counted) { counted.RequestMalformed(); });
        return Fail(why);
    }
    answerKind = CarriedBy(kind);
    try {
        answer = content->Answer(*request);
    } catch (const RequestError& e) {
        return Fail(e.what());
    }
    answerLength = PacketLength(answer.size());
    WriteAnswer();
}

void ServerSession::WriteAnswer() {
    Arm(timeouts.idle, "the client to take an answer", TimeoutKind::Idle);
    std::array<asio::const_buffer, 2> packet{asio::buffer(answerLength), asio::buffer(answer)};
    asio::async_write(socket, packet, [self = shared_from_this()](std::error_code error, std::size_t sent) {
        self->Count([&](ServerMetrics& counted) { counted.Sent(self->answerKind, sent); });
        self->Guarded([&] {
            // Up to 64 KiB per answer: kept only while it is on its way.
            std::vector<std::uint8_t>().swap(self->answer);
            if (error) {
                if (!IsOrdinaryEnd(error))
                    self->Log(error.message());
                return self->End();
            }
            self->Count([&](ServerMetrics& counted) {
                counted.AnswerTime(std::chrono::steady_clock::now() - self->requestEnd);
            });
            self->WaitForRequest();
        });
    });
}

// One timer per connection; arming it again replaces the previous deadline.
void ServerSession::Arm(std::chrono::milliseconds timeout, const char* awaited, TimeoutKind kind) {
    waitingFor = awaited;
    waitingKind = kind;
    deadline.expires_after(timeout);
    deadline.async_wait([self = shared_from_this(), timeout](std::error_code error) {
        if (error || self->deadline.expiry() > asio::steady_timer::clock_type::now())
            return;
        self->Count([&](ServerMetrics& counted) { counted.TimedOut(self->waitingKind); });
        self->Fail(std::string("waited ") + Describe(timeout) + " for " + self->waitingFor);
    });
}

// A balancer checks every instance every second or so: its checks would drown the players'
// lines and counts, so they leave neither.
template <typename Update>
void ServerSession::Count(Update update) {
    if (!balancerCheck)
        update(metrics);
}

// Also runs in the destructor, so a line that finds no memory is lost rather than thrown.
void ServerSession::Log(const std::string& text) noexcept {
    if (balancerCheck)
        return;
    try {
        log.LimitedLine(address, addressAndPort + ": " + text);
    } catch (const std::bad_alloc&) {
    }
}

void ServerSession::Fail(const std::string& reason) {
    Log(reason + "; closing the connection");
    End();
}

// A read cut off by a timeout or a stop has been dealt with already.
void ServerSession::Broken(const std::error_code& error) {
    if (error == asio::error::operation_aborted)
        return End();
    Fail("connection ended inside a request: " + error.message());
}

void ServerSession::End() {
    std::error_code ignored;
    deadline.cancel();
    socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

}  // namespace ombrelta::server
