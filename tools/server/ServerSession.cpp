#include "tools/server/ServerSession.h"

#include <exception>

namespace ombrelta::server {
namespace {

std::string DescribePeer(const asio::ip::tcp::socket& socket) {
    std::error_code error;
    asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
    if (error)
        return "unknown peer";
    return peer.address().to_string() + ":" + std::to_string(peer.port());
}

// A client hanging up between requests is the normal end of a connection, not an error.
bool IsOrdinaryEnd(const std::error_code& error) {
    return error == asio::error::eof || error == asio::error::operation_aborted;
}

}  // namespace

ServerSession::ServerSession(asio::ip::tcp::socket socket, const ServerContent& content, ServerLog& log)
    : socket_(std::move(socket)), content_(content), log_(log), peer_(DescribePeer(socket_)) {
    // Every answer is awaited by the client before it asks again; Nagle's delay would only
    // stall the tail of each answer behind the client's delayed acknowledgement.
    std::error_code ignored;
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
}

ServerSession::~ServerSession() {
    log_.Line("connection closed: " + peer_);
}

void ServerSession::Start() {
    log_.Line("connection opened: " + peer_);
    ReadHeader();
}

void ServerSession::ReadHeader() {
    asio::async_read(socket_, asio::buffer(header_),
                     [self = shared_from_this()](const std::error_code& error, std::size_t) {
                         if (error) {
                             if (!IsOrdinaryEnd(error))
                                 self->log_.Line(self->peer_ + ": " + error.message());
                             return;
                         }
                         std::size_t length = self->header_[0] | (self->header_[1] << 8);
                         if (length <= 2) {
                             self->Fail("packet length " + std::to_string(length) + " carries no payload");
                             return;
                         }
                         self->ReadPayload(length - 2);
                     });
}

void ServerSession::ReadPayload(std::size_t size) {
    payload_.resize(size);
    asio::async_read(
        socket_, asio::buffer(payload_),
        [self = shared_from_this()](const std::error_code& error, std::size_t) {
            if (error) {
                self->log_.Line(self->peer_ + ": connection ended inside a request: " + error.message());
                return;
            }
            self->HandleRequest();
        });
}

void ServerSession::HandleRequest() {
    try {
        answer_ = content_.Answer(ParseRequest(payload_));
        answerLength_ = PacketLength(answer_.size());
    } catch (const std::exception& e) {
        Fail(e.what());
        return;
    }
    WriteAnswer();
}

void ServerSession::WriteAnswer() {
    std::array<asio::const_buffer, 2> packet{asio::buffer(answerLength_), asio::buffer(answer_)};
    asio::async_write(socket_, packet,
                      [self = shared_from_this()](const std::error_code& error, std::size_t) {
                          if (error) {
                              if (!IsOrdinaryEnd(error))
                                  self->log_.Line(self->peer_ + ": " + error.message());
                              return;
                          }
                          self->ReadHeader();
                      });
}

void ServerSession::Fail(const std::string& reason) {
    log_.Line(peer_ + ": " + reason + "; closing the connection");
    std::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
}

}  // namespace ombrelta::server
