#include "tools/server/LauncherServer.h"

#include <chrono>

#include "tools/server/ListenPolicy.h"
#include "tools/server/ProxyHandshake.h"

namespace ombrelta::server {

LauncherServer::LauncherServer(asio::io_context& io,
                               std::shared_ptr<const ServerContent> content,
                               ServerLog& log,
                               ServerMetrics& metrics,
                               const asio::ip::tcp::endpoint& endpoint,
                               const ConnectionRules& rules)
    : io(io),
      log(log),
      metrics(metrics),
      timeouts(rules.timeouts),
      limits(rules.maxConnections, rules.maxPerAddress),
      proxySources(rules.proxySources),
      content(std::move(content)),
      strand(asio::make_strand(io)),
      acceptor(strand, endpoint, ReuseListenAddress()),
      retryTimer(strand) {
    metrics.ContentServed(this->content->Patches().NewestVersion(), this->content->Files().Count());
}

void LauncherServer::Start() {
    asio::post(strand, [this] { Accept(); });
}

void LauncherServer::Stop() {
    asio::post(strand, [this] {
        std::error_code ignored;
        acceptor.close(ignored);
        retryTimer.cancel();
    });
}

void LauncherServer::ReplaceContent(std::shared_ptr<const ServerContent> newContent) {
    metrics.ContentServed(newContent->Patches().NewestVersion(), newContent->Files().Count());
    std::lock_guard<std::mutex> lock(contentMutex);
    content = std::move(newContent);
}

std::shared_ptr<const ServerContent> LauncherServer::CurrentContent() {
    std::lock_guard<std::mutex> lock(contentMutex);
    return content;
}

void LauncherServer::Accept() {
    // Each session gets its own strand, so sessions run in parallel on the io_context's threads.
    acceptor.async_accept(asio::make_strand(io), acceptedPeer, [this](std::error_code error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor.is_open())
            return;
        if (error) {
            log.LimitedLine("accept", "accept failed: " + error.message());
            RetryLater();
            return;
        }
        try {
            Admit(std::move(socket), acceptedPeer);
        } catch (const std::exception& e) {
            log.Line(std::string("cannot serve a new connection: ") + e.what());
        }
        Accept();
    });
}

void LauncherServer::Admit(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer) {
    if (!proxySources.Contains(peer.address())) {
        metrics.ConnectionAccepted();
        Serve(std::move(socket), SessionPeer{.endpoint = peer});
        return;
    }
    // The caps count the client the header names, so they wait for it; so does the count of
    // accepted connections, which leaves out the balancer's health checks.
    ProxyHandshake::Start(std::move(socket), peer, timeouts.request, log, metrics,
                          [this](asio::ip::tcp::socket proxied, const SessionPeer& client) {
                              Serve(std::move(proxied), client);
                          });
}

void LauncherServer::Serve(asio::ip::tcp::socket socket, const SessionPeer& peer) {
    std::string address = peer.endpoint.address().to_string();
    Refusal refusal{};
    std::optional<ConnectionLimits::Ticket> ticket = limits.Admit(address, refusal);
    // A health check over a cap ends unserved, as quietly as any other check.
    if (!ticket && peer.balancerCheck) {
        metrics.HealthCheckEnded();
        return;
    }
    if (!ticket) {
        metrics.ConnectionRefused(refusal);
        log.LimitedLine(address, address + ":" + std::to_string(peer.endpoint.port()) +
                                     ": over the connection caps; closed at once");
        std::error_code ignored;
        socket.close(ignored);
        return;
    }
    std::make_shared<ServerSession>(std::move(socket), peer, CurrentContent(), log, metrics, timeouts,
                                    std::move(*ticket))
        ->Start();
}

// Out of descriptors, say: accepting again at once would only spin on the same error.
void LauncherServer::RetryLater() {
    retryTimer.expires_after(std::chrono::milliseconds(100));
    retryTimer.async_wait([this](const std::error_code& error) {
        if (!error)
            Accept();
    });
}

}  // namespace ombrelta::server
