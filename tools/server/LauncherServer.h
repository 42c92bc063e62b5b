#pragma once

#include <asio.hpp>

#include "tools/server/ServerContent.h"
#include "tools/server/ServerLog.h"

namespace ombrelta::server {

/// Accepts clients on one TCP endpoint and gives each its own ServerSession.
class LauncherServer {
public:
    /// Binds and listens at once. Throws std::system_error when the endpoint cannot be used.
    /// io, content and log must outlive the server.
    LauncherServer(asio::io_context& io,
                   const ServerContent& content,
                   ServerLog& log,
                   const asio::ip::tcp::endpoint& endpoint);

    /// The bound endpoint, with the real port when port 0 was asked for.
    asio::ip::tcp::endpoint LocalEndpoint() const { return acceptor_.local_endpoint(); }
    /// Starts accepting; every accepted connection is served until it ends or Stop is called.
    void Start();
    /// Stops accepting; callable from any thread. Open sessions end when the io_context stops.
    void Stop();

private:
    void Accept();
    void RetryLater();

    asio::io_context& io_;
    const ServerContent& content_;
    ServerLog& log_;
    // The acceptor's handlers and Stop run one at a time on this strand.
    asio::strand<asio::io_context::executor_type> strand_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retryTimer_;
};

}  // namespace ombrelta::server
