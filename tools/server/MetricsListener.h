#pragma once

#include <atomic>
#include <memory>

#include <asio.hpp>

#include "tools/server/ServerMetrics.h"

namespace ombrelta::server {

/// Serves the metrics page over HTTP on an endpoint of its own, never the game port, on the
/// server's io_context. A scrape only reads the metrics. At most kMaxScrapers connections are
/// open at once (others are closed at once); each must send its request and take its answer
/// within kScrapeTimeout, and is closed after one answer.
class MetricsListener {
public:
    static constexpr std::size_t kMaxScrapers = 8;
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
    void RetryLater();

    asio::io_context& io;
    const ServerMetrics& metrics;
    std::shared_ptr<std::atomic<std::size_t>> open;
    asio::strand<asio::io_context::executor_type> strand;
    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retryTimer;
};

}  // namespace ombrelta::server
