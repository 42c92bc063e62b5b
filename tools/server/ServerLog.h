#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "tools/server/ServerMetrics.h"

namespace ombrelta::server {

/// Whole lines on stderr from any thread. A writer thread of its own does the writing, so a
/// slow or blocked stderr never holds up a caller. When the bounded queue is full, lines are
/// dropped and counted (in metrics too), and a later line says how many were lost.
class ServerLog {
public:
    /// Starts the writer thread. capacity bounds the queued lines; in a series (LimitedLine) at
    /// most seriesLines lines are kept per seriesWindow. metrics must outlive the log.
    explicit ServerLog(ServerMetrics& metrics,
                       std::size_t capacity = 4096,
                       int seriesLines = 20,
                       std::chrono::seconds seriesWindow = std::chrono::seconds(10));
    /// Gives the writer a short moment to empty the queue, then leaves it behind: ending the
    /// process never waits on a stderr nobody reads.
    ~ServerLog();
    ServerLog(const ServerLog&) = delete;
    ServerLog& operator=(const ServerLog&) = delete;

    /// Queues text as one line. Never blocks on stderr, never fails.
    void Line(std::string text) noexcept;
    /// Queues text as one line of the series named by key (a peer address, say), unless the
    /// series has had its share of lines in this window; those left out are counted and a line
    /// of the next window says how many.
    void LimitedLine(const std::string& key, std::string text) noexcept;

    struct Shared;

private:
    std::shared_ptr<Shared> shared;
};

}  // namespace ombrelta::server
