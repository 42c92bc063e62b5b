#include "tools/server/ContentReloader.h"

#include <memory>
#include <system_error>

#include "tools/content/ContentCheck.h"

namespace ombrelta::server {

ContentReloader::ContentReloader(LauncherServer& server,
                                 ServerLog& log,
                                 ServerMetrics& metrics,
                                 ContentChanges& changes,
                                 std::filesystem::path root,
                                 std::uint32_t chunkSize)
    : server(server),
      log(log),
      metrics(metrics),
      changes(changes),
      root(std::move(root)),
      chunkSize(chunkSize),
      runner([this] { LoadOnce(); }) {
    changes.React([this](const std::string& what) {
        this->metrics.ContentChanged();
        this->log.Line("ombrelta-server: " + what + " changed on disk since it was loaded");
        Reload();
    });
}

ContentReloader::~ContentReloader() {
    changes.React({});
}

void ContentReloader::Reload() {
    try {
        runner.Request();
    } catch (const std::system_error& e) {
        log.Line(std::string("ombrelta-server: cannot start a reload: ") + e.what() +
                 "; still serving the previous content");
        metrics.ContentReloaded(false);
    }
}

// Runs on the reload thread: nothing may escape it.
void ContentReloader::LoadOnce() {
    log.Line("ombrelta-server: reloading the content");
    try {
        auto content = std::make_shared<const ServerContent>(root, chunkSize, &changes);
        server.ReplaceContent(content);
        metrics.ContentReloaded(true);
        log.Line("ombrelta-server: reloaded; new connections get " + DescribeContent(*content) +
                 ", newest version " + std::to_string(content->Patches().NewestVersion()));
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
    return ombrelta::DescribeContent(content.Patches(), content.Files());
}

}  // namespace ombrelta::server
