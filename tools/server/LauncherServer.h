#pragma once

#include <memory>
#include <mutex>

#include <asio.hpp>

#include "tools/server/ConnectionLimits.h"
#include "tools/server/ProxyHeader.h"
#include "tools/server/ServerContent.h"
#include "tools/server/ServerLog.h"
#include "tools/server/ServerMetrics.h"
#include "tools/server/ServerSession.h"

namespace ombrelta::server {

/// What every connection is held to.
struct ConnectionRules {
    SessionTimeouts timeouts;
    std::size_t maxConnections = 1;
    std::size_t maxPerAddress = 1;
    /// Balancers whose connections begin with a PROXY header; the client it names is the peer
    /// that caps and log lines count.
    ProxySources proxySources;
};

/// Accepts clients on one TCP endpoint and gives each its own ServerSession over the content
/// current at that moment. A connection over a cap is accepted and closed at once, so the
/// backlog never fills. Every connection and request is counted in the metrics, but for a
/// balancer's health checks, which count only as such.
class LauncherServer {
public:
    /// Binds and listens at once. Throws std::system_error when the endpoint cannot be used.
    /// io, log and metrics must outlive the server.
    LauncherServer(asio::io_context& io,
                   std::shared_ptr<const ServerContent> content,
                   ServerLog& log,
                   ServerMetrics& metrics,
                   const asio::ip::tcp::endpoint& endpoint,
                   const ConnectionRules& rules);

    /// The bound endpoint, with the real port when port 0 was asked for.
    asio::ip::tcp::endpoint LocalEndpoint() const { return acceptor.local_endpoint(); }
    /// Starts accepting; every accepted connection is served until it ends or Stop is called.
    void Start();
    /// Stops accepting; callable from any thread. Open sessions end when the io_context stops.
    void Stop();
    /// Connections accepted from now on get newContent; those already open keep theirs to their
    /// end. Callable from any thread.
    void ReplaceContent(std::shared_ptr<const ServerContent> newContent);

private:
    void Accept();
    void Admit(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer);
    void Serve(asio::ip::tcp::socket socket, const SessionPeer& peer);
    void RetryLater();
    std::shared_ptr<const ServerContent> CurrentContent();

    asio::io_context& io;
    ServerLog& log;
    ServerMetrics& metrics;
    SessionTimeouts timeouts;
    ConnectionLimits limits;
    ProxySources proxySources;
    std::mutex contentMutex;
    std::shared_ptr<const ServerContent> content;
    // The acceptor's handlers and Stop run one at a time on this strand.
    asio::strand<asio::io_context::executor_type> strand;
    asio::ip::tcp::acceptor acceptor;
    // The peer of the connection being accepted, as accept itself tells it: still known when the
    // peer has reset the connection before it was looked at.
    asio::ip::tcp::endpoint acceptedPeer;
    asio::steady_timer retryTimer;
};

}  // namespace ombrelta::server
