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

}  // namespace

ServerSession::ServerSession(asio::ip::tcp::socket socket,
                             const SessionPeer& peer,
                             std::shared_ptr<const ServerContent> content,
                             ServerLog& log,
                             SessionTimeouts timeouts,
                             ConnectionLimits::Ticket ticket)
    : socket_(std::move(socket)),
      deadline_(socket_.get_executor()),
      content_(std::move(content)),
      log_(log),
      timeouts_(timeouts),
      ticket_(std::move(ticket)),
      address_(peer.endpoint.address().to_string()),
      peer_(address_ + ":" + std::to_string(peer.endpoint.port())),
      balancerCheck_(peer.balancerCheck) {
    std::error_code error;
    // Every answer is awaited by the client before it asks again; Nagle's delay would only
    // stall the tail of each answer behind the client's delayed acknowledgement.
    socket_.set_option(asio::ip::tcp::no_delay(true), error);
}

ServerSession::~ServerSession() {
    if (!balancerCheck_)
        Log("connection closed");
}

// Called on the acceptor's strand: the first steps move to the session's own, where its timer
// handler runs too.
void ServerSession::Start() {
    asio::dispatch(socket_.get_executor(), [self = shared_from_this()] {
        if (!self->balancerCheck_)
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
    Arm(timeouts_.idle, "a request");
    // The first byte starts the request's own clock, so it is read on its own if need be.
    socket_.async_read_some(asio::buffer(header_),
                            [self = shared_from_this()](std::error_code error, std::size_t count) {
                                self->Guarded([&] {
                                    if (error) {
                                        if (!IsOrdinaryEnd(error))
                                            self->Log(error.message());
                                        self->End();
                                        return;
                                    }
                                    self->Arm(self->timeouts_.request, "the rest of a request");
                                    if (count == 1)
                                        self->ReadHeaderRest();
                                    else
                                        self->ReadPayload();
                                });
                            });
}

void ServerSession::ReadHeaderRest() {
    asio::async_read(socket_, asio::buffer(header_.data() + 1, 1),
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
    std::optional<std::size_t> size = RequestPayloadSize(header_[0], header_[1], why);
    if (!size)
        return Fail(why);
    payloadSize_ = *size;
    asio::async_read(socket_, asio::buffer(payload_.data(), payloadSize_),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         self->Guarded([&] {
                             if (error)
                                 return self->Broken(error);
                             self->HandleRequest();
                         });
                     });
}

void ServerSession::HandleRequest() {
    std::string why;
    std::optional<Request> request = ParseRequest(std::span(payload_.data(), payloadSize_), why);
    if (!request)
        return Fail(why);
    try {
        answer_ = content_->Answer(*request);
    } catch (const RequestError& e) {
        return Fail(e.what());
    }
    answerLength_ = PacketLength(answer_.size());
    WriteAnswer();
}

void ServerSession::WriteAnswer() {
    Arm(timeouts_.idle, "the client to take an answer");
    std::array<asio::const_buffer, 2> packet{asio::buffer(answerLength_), asio::buffer(answer_)};
    asio::async_write(socket_, packet, [self = shared_from_this()](std::error_code error, std::size_t) {
        self->Guarded([&] {
            // Up to 64 KiB per answer: kept only while it is on its way.
            std::vector<std::uint8_t>().swap(self->answer_);
            if (error) {
                if (!IsOrdinaryEnd(error))
                    self->Log(error.message());
                return self->End();
            }
            self->WaitForRequest();
        });
    });
}

// One timer per connection; arming it again replaces the previous deadline.
void ServerSession::Arm(std::chrono::milliseconds timeout, const char* waitingFor) {
    waitingFor_ = waitingFor;
    deadline_.expires_after(timeout);
    deadline_.async_wait([self = shared_from_this(), timeout](std::error_code error) {
        if (error || self->deadline_.expiry() > asio::steady_timer::clock_type::now())
            return;
        self->Fail(std::string("waited ") + Describe(timeout) + " for " + self->waitingFor_);
    });
}

// Also runs in the destructor, so a line that finds no memory is lost rather than thrown.
void ServerSession::Log(const std::string& text) noexcept {
    try {
        log_.LimitedLine(address_, peer_ + ": " + text);
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
    deadline_.cancel();
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
}

}  // namespace ombrelta::server
