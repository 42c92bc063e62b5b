#include "tools/server/ProxyHandshake.h"

#include <exception>

namespace ombrelta::server {

void ProxyHandshake::Start(asio::ip::tcp::socket socket,
                           std::chrono::milliseconds timeout,
                           ServerLog& log,
                           Admit admit) {
    auto handshake = std::make_shared<ProxyHandshake>(std::move(socket), log, std::move(admit));
    asio::dispatch(handshake->socket_.get_executor(),
                   [handshake, timeout] { handshake->ReadFixedPart(timeout); });
}

ProxyHandshake::ProxyHandshake(asio::ip::tcp::socket socket, ServerLog& log, Admit admit)
    : socket_(std::move(socket)), deadline_(socket_.get_executor()), log_(log), admit_(std::move(admit)) {
    std::error_code ignored;
    balancer_ = socket_.remote_endpoint(ignored);
}

void ProxyHandshake::ReadFixedPart(std::chrono::milliseconds timeout) {
    deadline_.expires_after(timeout);
    deadline_.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (!error)
            self->Refuse("no whole PROXY header in time");
    });
    header_.resize(kProxyHeaderFixedSize);
    asio::async_read(socket_, asio::buffer(header_),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         if (error) {
                             self->Refuse("closed before its PROXY header: " + error.message());
                             return;
                         }
                         const std::optional<ProxyPrefix> prefix = ParseProxyPrefix(
                             std::span<const std::uint8_t, kProxyHeaderFixedSize>(self->header_.data(),
                                                                                  kProxyHeaderFixedSize));
                         if (!prefix) {
                             self->Refuse("no PROXY header from a balancer address");
                             return;
                         }
                         self->ReadRest(prefix->remaining);
                     });
}

void ProxyHandshake::ReadRest(std::size_t remaining) {
    header_.resize(kProxyHeaderFixedSize + remaining);
    asio::async_read(socket_, asio::buffer(header_.data() + kProxyHeaderFixedSize, remaining),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         if (error) {
                             self->Refuse("closed within its PROXY header: " + error.message());
                             return;
                         }
                         self->Finish();
                     });
}

void ProxyHandshake::Finish() {
    deadline_.cancel();
    SessionPeer peer{.endpoint = balancer_};
    try {
        const std::optional<asio::ip::tcp::endpoint> client = ParseProxyHeader(header_);
        peer.balancerCheck = !client.has_value();
        if (client)
            peer.endpoint = *client;
    } catch (const std::exception& e) {
        Refuse(e.what());
        return;
    }
    admit_(std::move(socket_), peer);
}

void ProxyHandshake::Refuse(const std::string& reason) {
    if (!socket_.is_open())
        return;
    deadline_.cancel();
    const std::string address = balancer_.address().to_string();
    log_.LimitedLine(address, address + ":" + std::to_string(balancer_.port()) + ": " + reason + "; closed");
    std::error_code ignored;
    socket_.close(ignored);
}

}  // namespace ombrelta::server
