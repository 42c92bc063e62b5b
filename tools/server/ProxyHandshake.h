#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <asio.hpp>

#include "tools/server/ProxyHeader.h"
#include "tools/server/ServerLog.h"
#include "tools/server/ServerMetrics.h"
#include "tools/server/ServerSession.h"

namespace ombrelta::server {

/// Reads the PROXY protocol version 2 header that a balancer sends before its client's first
/// byte, then hands the socket on with the client it names. A connection whose header is
/// missing, damaged or late is closed with one log line, and counted as accepted and refused; one
/// with a whole header counts as accepted unless it is a health check (LOCAL). Kept alive by its
/// pending operations.
class ProxyHandshake : public std::enable_shared_from_this<ProxyHandshake> {
public:
    using Admit = std::function<void(asio::ip::tcp::socket, SessionPeer)>;

    /// Starts reading from balancer, the socket's peer; the header must arrive whole within
    /// timeout. The log must outlive it. Counts the connection in metrics, which must outlive it too.
    static void Start(asio::ip::tcp::socket socket,
                      const asio::ip::tcp::endpoint& balancer,
                      std::chrono::milliseconds timeout,
                      ServerLog& log,
                      ServerMetrics& metrics,
                      Admit admit);

    ProxyHandshake(asio::ip::tcp::socket connection,
                   const asio::ip::tcp::endpoint& balancer,
                   ServerLog& log,
                   ServerMetrics& metrics,
                   Admit admit);

private:
    void ReadFixedPart(std::chrono::milliseconds timeout);
    void ReadRest(std::size_t remaining);
    void Finish();
    void Refuse(const std::string& reason);

    asio::ip::tcp::socket socket;
    asio::steady_timer deadline;
    ServerLog& log;
    ServerMetrics& metrics;
    Admit admit;
    asio::ip::tcp::endpoint balancer;
    std::vector<std::uint8_t> header;
};

}  // namespace ombrelta::server
