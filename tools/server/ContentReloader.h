#pragma once

#include <cstdint>
#include <filesystem>

#include "tools/server/CoalescingRunner.h"
#include "tools/server/ContentChanges.h"
#include "tools/server/LauncherServer.h"
#include "tools/content/LoadAudit.h"
#include "tools/server/ServerLog.h"
#include "tools/server/ServerMetrics.h"

namespace ombrelta::server {

/// Builds new content from the root on request, on a thread of its own so that serving goes on
/// meanwhile, and hands it to the server when it is valid. Invalid content is logged with every
/// fault, and the server keeps what it has. A content file found changed while it is served is
/// logged and starts a reload too. Every outcome and change is counted in the metrics.
class ContentReloader {
public:
    /// server, log, metrics and changes (which the served content reports to) must outlive the
    /// reloader, which waits for a reload in progress to end. served is what the content being
    /// served left (RememberLoad): a reload that finds nothing to serve where it offered something
    /// is refused, and every reload logs the mistakes AuditLoad finds as warnings.
    ContentReloader(LauncherServer& server,
                    ServerLog& log,
                    ServerMetrics& metrics,
                    ContentChanges& changes,
                    std::filesystem::path root,
                    std::uint32_t chunkSize,
                    LoadMemory served);
    ~ContentReloader();
    ContentReloader(const ContentReloader&) = delete;
    ContentReloader& operator=(const ContentReloader&) = delete;

    /// Starts a reload; one asked for while another runs follows it (several such requests
    /// make one). Callable from any thread. When no thread can be started for it, that is
    /// logged and the next request tries again.
    void Reload();

private:
    void LoadOnce();

    LauncherServer& server;
    ServerLog& log;
    ServerMetrics& metrics;
    ContentChanges& changes;
    std::filesystem::path root;
    std::uint32_t chunkSize;
    LoadMemory served;  // only the reload thread touches it once constructed
    // Last: destroyed first, so no reload outlives what it uses.
    CoalescingRunner runner;
};

/// "N patches and M game files", for the log.
std::string DescribeContent(const ServerContent& content);

}  // namespace ombrelta::server
