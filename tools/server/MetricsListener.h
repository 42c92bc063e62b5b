#pragma once

#include <chrono>
#include <memory>

#include <asio.hpp>

#include "tools/server/ConnectionLimits.h"
#include "tools/server/ServerMetrics.h"

namespace ombrelta::server {

/// Serves the metrics page over HTTP on an endpoint of its own, never the game port, on the
/// server's io_context. A scrape only reads the metrics. At most kMaxScrapers connections are
/// open at once, kMaxScrapersPerAddress of them from one address (others are closed at once), so
/// that no one address can keep the operator's Prometheus out. Each must send its whole request
/// head within kRequestHeadTimeout and take its answer within kScrapeTimeout, and is closed after
/// one answer.
class MetricsListener {
public:
    static constexpr std::size_t kMaxScrapers = 64;
    static constexpr std::size_t kMaxScrapersPerAddress = 4;
    static constexpr std::chrono::seconds kRequestHeadTimeout{1};
    static constexpr std::chrono::seconds kScrapeTimeout{5};

    /// Binds and listens at once. Throws std::system_error when the endpoint cannot be used. io and
    /// metrics must outlive the listener.
    MetricsListener(asio::io_context& io,
                    const asio::ip::tcp::endpoint& endpoint,
                    const ServerMetrics& metrics);

    /// The bound endpoint, with the real port when port 0 was asked for.
    asio::ip::tcp::endpoint LocalEndpoint() const { return acceptor.local_endpoint(); }
    /// Starts accepting scrapers until the io_context stops.
    void Start();

private:
    void Accept();
    void Admit(asio::ip::tcp::socket socket);
    void RetryLater();

    asio::io_context& io;
    const ServerMetrics& metrics;
    ConnectionLimits limits;
    asio::strand<asio::io_context::executor_type> strand;
    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retryTimer;
};

}  // namespace ombrelta::server
