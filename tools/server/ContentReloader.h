#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <thread>

#include "tools/server/LauncherServer.h"
#include "tools/server/ServerLog.h"

namespace ombrelta::server {

/// Builds new content from the root on request, on a thread of its own so that serving goes on
/// meanwhile, and hands it to the server when it is valid. Invalid content is logged with every
/// fault, and the server keeps what it has. Every outcome is counted in the metrics.
class ContentReloader {
public:
    /// server, log and metrics must outlive the reloader.
    ContentReloader(LauncherServer& server,
                    ServerLog& log,
                    ServerMetrics& metrics,
                    std::filesystem::path root,
                    std::uint32_t chunkSize);
    /// Waits for a reload in progress to end.
    ~ContentReloader();
    ContentReloader(const ContentReloader&) = delete;
    ContentReloader& operator=(const ContentReloader&) = delete;

    /// Starts a reload; one asked for while another runs follows it (several such requests
    /// make one). Callable from any thread.
    void Reload();

private:
    void Run();
    void LoadOnce();

    LauncherServer& server;
    ServerLog& log;
    ServerMetrics& metrics;
    std::filesystem::path root;
    std::uint32_t chunkSize;
    std::mutex mutex;
    bool running = false;
    bool again = false;
    std::thread worker;
};

/// "N patches and M game files", for the log.
std::string DescribeContent(const ServerContent& content);

}  // namespace ombrelta::server
