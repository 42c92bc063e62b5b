#include "tools/server/ContentReloader.h"

#include <memory>

namespace ombrelta::server {

ContentReloader::ContentReloader(LauncherServer& server,
                                 ServerLog& log,
                                 std::filesystem::path root,
                                 std::uint32_t chunkSize)
    : server_(server), log_(log), root_(std::move(root)), chunkSize_(chunkSize) {}

ContentReloader::~ContentReloader() {
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        worker = std::move(worker_);
    }
    // Outside the lock: the worker takes it once more on its way out.
    if (worker.joinable())
        worker.join();
}

void ContentReloader::Reload() {
    std::lock_guard<std::mutex> lock(mutex_);
    // One asked for meanwhile runs after the current one, which may have read the root too early.
    if (running_) {
        again_ = true;
        return;
    }
    if (worker_.joinable())
        worker_.join();
    running_ = true;
    worker_ = std::thread([this] { Run(); });
}

void ContentReloader::Run() {
    for (;;) {
        LoadOnce();
        std::lock_guard<std::mutex> lock(mutex_);
        if (!again_) {
            running_ = false;
            return;
        }
        again_ = false;
    }
}

// Runs on the reload thread: nothing may escape it.
void ContentReloader::LoadOnce() {
    log_.Line("ombrelta-server: reloading the content");
    try {
        auto content = std::make_shared<const ServerContent>(root_, chunkSize_);
        server_.ReplaceContent(content);
        log_.Line("ombrelta-server: reloaded; new connections get " + DescribeContent(*content));
    } catch (const ContentError& e) {
        for (const std::string& problem : e.problems())
            log_.Line("ombrelta-server: " + problem);
        log_.Line("ombrelta-server: reload refused; still serving the previous content");
    } catch (const std::exception& e) {
        log_.Line(std::string("ombrelta-server: reload failed: ") + e.what() +
                  "; still serving the previous content");
    }
}

std::string DescribeContent(const ServerContent& content) {
    return std::to_string(content.patches().Count()) + " patches and " +
           std::to_string(content.files().Count()) + " game files";
}

}  // namespace ombrelta::server
