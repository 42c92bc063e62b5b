#include "tools/server/ContentReloader.h"

#include <memory>

namespace ombrelta::server {

ContentReloader::ContentReloader(LauncherServer& server,
                                 ServerLog& log,
                                 ServerMetrics& metrics,
                                 std::filesystem::path root,
                                 std::uint32_t chunkSize)
    : server(server), log(log), metrics(metrics), root(std::move(root)), chunkSize(chunkSize) {}

ContentReloader::~ContentReloader() {
    std::thread finishing;
    {
        std::lock_guard<std::mutex> lock(mutex);
        finishing = std::move(worker);
    }
    // Outside the lock: the worker takes it once more on its way out.
    if (finishing.joinable())
        finishing.join();
}

void ContentReloader::Reload() {
    std::lock_guard<std::mutex> lock(mutex);
    // One asked for meanwhile runs after the current one, which may have read the root too early.
    if (running) {
        again = true;
        return;
    }
    if (worker.joinable())
        worker.join();
    running = true;
    worker = std::thread([this] { Run(); });
}

void ContentReloader::Run() {
    for (;;) {
        LoadOnce();
        std::lock_guard<std::mutex> lock(mutex);
        if (!again) {
            running = false;
            return;
        }
        again = false;
    }
}

// Runs on the reload thread: nothing may escape it.
void ContentReloader::LoadOnce() {
    log.Line("ombrelta-server: reloading the content");
    try {
        auto content = std::make_shared<const ServerContent>(root, chunkSize);
        server.ReplaceContent(content);
        metrics.ContentReloaded(true);
        log.Line("ombrelta-server: reloaded; new connections get " + DescribeContent(*content));
    } catch (const ContentError& e) {
        for (const std::string& problem : e.Problems())
            log.Line("ombrelta-server: " + problem);
        log.Line("ombrelta-server: reload refused; still serving the previous content");
        metrics.ContentReloaded(false);
    } catch (const std::exception& e) {
        log.Line(std::string("ombrelta-server: reload failed: ") + e.what() +
                 "; still serving the previous content");
        metrics.ContentReloaded(false);
    }
}

std::string DescribeContent(const ServerContent& content) {
    return std::to_string(content.Patches().Count()) + " patches and " +
           std::to_string(content.Files().Count()) + " game files";
}

}  // namespace ombrelta::server
