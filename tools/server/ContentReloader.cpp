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
                                 std::uint32_t chunkSize,
                                 LoadMemory served)
    : server(server),
      log(log),
      metrics(metrics),
      changes(changes),
      root(std::move(root)),
      chunkSize(chunkSize),
      served(served),
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
        const ContentProblems warnings = AuditLoad(content->Patches(), content->Files(), root, served);
        // Folders moved away in the middle of a change must not leave every player with nothing.
        if (OffersNothing(content->Patches(), content->Files()) && served.served) {
            for (const std::string& warning : warnings)
                log.Line("ombrelta-server: " + warning);
            log.Line("ombrelta-server: reload refused: the content is empty now; still serving the previous "
                     "content");
            metrics.ContentReloaded(false);
            return;
        }
        for (const std::string& warning : warnings)
            log.Line("ombrelta-server: warning: " + warning);
        server.ReplaceContent(content);
        served = RememberLoad(content->Patches(), content->Files());
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
