#include "tools/server/LauncherServer.h"

#include <chrono>

#include "tools/server/ListenPolicy.h"
#include "tools/server/ProxyHandshake.h"

namespace ombrelta::server {

LauncherServer::LauncherServer(asio::io_context& io,
                               std::shared_ptr<const ServerContent> content,
                               ServerLog& log,
                               const asio::ip::tcp::endpoint& endpoint,
                               const ConnectionRules& rules)
    : io_(io),
      log_(log),
      timeouts_(rules.timeouts),
      limits_(rules.maxConnections, rules.maxPerAddress),
      proxySources_(rules.proxySources),
      content_(std::move(content)),
      strand_(asio::make_strand(io)),
      acceptor_(strand_, endpoint, ReuseListenAddress()),
      retryTimer_(strand_) {}

void LauncherServer::Start() {
    asio::post(strand_, [this] { Accept(); });
}

void LauncherServer::Stop() {
    asio::post(strand_, [this] {
        std::error_code ignored;
        acceptor_.close(ignored);
        retryTimer_.cancel();
    });
}

void LauncherServer::ReplaceContent(std::shared_ptr<const ServerContent> content) {
    std::lock_guard<std::mutex> lock(contentMutex_);
    content_ = std::move(content);
}

std::shared_ptr<const ServerContent> LauncherServer::CurrentContent() {
    std::lock_guard<std::mutex> lock(contentMutex_);
    return content_;
}

void LauncherServer::Accept() {
    // Each session gets its own strand, so sessions run in parallel on the io_context's threads.
    acceptor_.async_accept(asio::make_strand(io_),
                           [this](std::error_code error, asio::ip::tcp::socket socket) {
                               if (error == asio::error::operation_aborted || !acceptor_.is_open())
                                   return;
                               if (error) {
                                   log_.LimitedLine("accept", "accept failed: " + error.message());
                                   RetryLater();
                                   return;
                               }
                               try {
                                   Admit(std::move(socket));
                               } catch (const std::exception& e) {
                                   log_.Line(std::string("cannot serve a new connection: ") + e.what());
                               }
                               Accept();
                           });
}

void LauncherServer::Admit(asio::ip::tcp::socket socket) {
    std::error_code error;
    asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
    if (error)
        return;
    if (!proxySources_.Contains(peer.address())) {
        Serve(std::move(socket), SessionPeer{.endpoint = peer});
        return;
    }
    // The caps count the client the header names, so they wait for it.
    ProxyHandshake::Start(std::move(socket), timeouts_.request, log_,
                          [this](asio::ip::tcp::socket proxied, const SessionPeer& client) {
                              Serve(std::move(proxied), client);
                          });
}

void LauncherServer::Serve(asio::ip::tcp::socket socket, const SessionPeer& peer) {
    std::string address = peer.endpoint.address().to_string();
    std::optional<ConnectionLimits::Ticket> ticket = limits_.Admit(address);
    if (!ticket) {
        log_.LimitedLine(address, address + ":" + std::to_string(peer.endpoint.port()) +
                                      ": over the connection caps; closed at once");
        std::error_code ignored;
        socket.close(ignored);
        return;
    }
    std::make_shared<ServerSession>(std::move(socket), peer, CurrentContent(), log_, timeouts_, std::move(*ticket))
        ->Start();
}

// Out of descriptors, say: accepting again at once would only spin on the same error.
void LauncherServer::RetryLater() {
    retryTimer_.expires_after(std::chrono::milliseconds(100));
    retryTimer_.async_wait([this](const std::error_code& error) {
        if (!error)
            Accept();
    });
}

}  // namespace ombrelta::server
