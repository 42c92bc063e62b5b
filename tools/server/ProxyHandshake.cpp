#include "tools/server/ProxyHandshake.h"

#include <exception>

namespace ombrelta::server {

void ProxyHandshake::Start(asio::ip::tcp::socket socket,
                           const asio::ip::tcp::endpoint& balancer,
                           std::chrono::milliseconds timeout,
                           ServerLog& log,
                           ServerMetrics& metrics,
                           Admit admit) {
    auto handshake = std::make_shared<ProxyHandshake>(std::move(socket), balancer, log, metrics, std::move(admit));
    asio::dispatch(handshake->socket.get_executor(),
                   [handshake, timeout] { handshake->ReadFixedPart(timeout); });
}

ProxyHandshake::ProxyHandshake(asio::ip::tcp::socket connection,
                               const asio::ip::tcp::endpoint& balancer,
                               ServerLog& log,
                               ServerMetrics& metrics,
                               Admit admit)
    : socket(std::move(connection)),
      deadline(socket.get_executor()),
      log(log),
      metrics(metrics),
      admit(std::move(admit)),
      balancer(balancer) {}

void ProxyHandshake::ReadFixedPart(std::chrono::milliseconds timeout) {
    deadline.expires_after(timeout);
    deadline.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (!error)
            self->Refuse("no whole PROXY header in time");
    });
    header.resize(kProxyHeaderFixedSize);
    asio::async_read(socket, asio::buffer(header),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         if (error) {
                             self->Refuse("closed before its PROXY header: " + error.message());
                             return;
                         }
                         const std::optional<ProxyPrefix> prefix =
                             ParseProxyPrefix(std::span<const std::uint8_t, kProxyHeaderFixedSize>(
                                 self->header.data(), kProxyHeaderFixedSize));
                         if (!prefix) {
                             self->Refuse("no PROXY header from a balancer address");
                             return;
                         }
                         self->ReadRest(prefix->remaining);
                     });
}

void ProxyHandshake::ReadRest(std::size_t remaining) {
    header.resize(kProxyHeaderFixedSize + remaining);
    asio::async_read(socket, asio::buffer(header.data() + kProxyHeaderFixedSize, remaining),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         if (error) {
                             self->Refuse("closed within its PROXY header: " + error.message());
                             return;
                         }
                         self->Finish();
                     });
}

void ProxyHandshake::Finish() {
    deadline.cancel();
    SessionPeer peer{.endpoint = balancer};
    try {
        const std::optional<asio::ip::tcp::endpoint> client = ParseProxyHeader(header);
        peer.balancerCheck = !client.has_value();
        if (client)
            peer.endpoint = *client;
    } catch (const std::exception& e) {
        Refuse(e.what());
        return;
    }
    if (!peer.balancerCheck)
        metrics.ConnectionAccepted();
    admit(std::move(socket), peer);
}

void ProxyHandshake::Refuse(const std::string& reason) {
    if (!socket.is_open())
        return;
    deadline.cancel();
    metrics.ConnectionAccepted();
    metrics.ConnectionRefused(Refusal::ProxyHeader);
    const std::string address = balancer.address().to_string();
    log.LimitedLine(address, address + ":" + std::to_string(balancer.port()) + ": " + reason + "; closed");
    std::error_code ignored;
    socket.close(ignored);
}

}  // namespace ombrelta::server
