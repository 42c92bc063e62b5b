// ombrelta-server: the reference launcher server, serving patches and game files from one directory.
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <thread>

#include <asio.hpp>

#include "common/Text.h"
#include "tools/content/ContentCheck.h"
#include "tools/content/ContentName.h"
#include "tools/content/PathText.h"
#include "tools/entry/ExitCode.h"
#include "tools/entry/ToolErrors.h"
#include "tools/entry/ToolMain.h"
#include "tools/entry/ToolVersion.h"
#include "tools/server/ContentReloader.h"
#include "tools/server/DescriptorLimit.h"
#include "tools/server/LauncherServer.h"
#include "tools/content/LoadAudit.h"
#include "tools/server/MetricsListener.h"
#include "tools/server/ServerContent.h"
#include "tools/server/ServerLog.h"
#include "tools/server/ServerMetrics.h"
#include "tools/server/ServerOptions.h"
#include "tools/server/ServerSignals.h"

namespace ombrelta::server {
namespace {

// Descriptors kept free for the content's files (twice: a reload opens a new set while old
// connections keep the old one), the listening socket and the runtime's own needs.
constexpr std::size_t kSpareDescriptors = 64;

void PrintError(const std::string& text) {
    std::fprintf(stderr, "ombrelta-server: %s\n", text.c_str());
}

std::optional<ServerOptions> ReadOptions(const std::vector<std::string>& args, int& exitCode) {
    try {
        ServerOptions options = ParseServerOptions(args);
        if (!options.help && !options.version)
            return options;
        std::fputs(options.help ? ServerUsage().c_str() : ToolVersionLine("ombrelta-server").c_str(), stdout);
        exitCode = kExitDone;
    } catch (const UsageError& e) {
        PrintError(e.what());
        std::fputs(ServerUsage().c_str(), stderr);
        exitCode = kExitBadInput;
    }
    return std::nullopt;
}

std::shared_ptr<const ServerContent> LoadContent(const ServerOptions& options, ContentChanges* changes) {
    try {
        return std::make_shared<const ServerContent>(options.root, options.chunkSize, changes);
    } catch (const ContentError& e) {
        for (const std::string& problem : e.Problems())
            PrintError(problem);
    } catch (const std::exception& e) {
        PrintError(e.what());
    }
    return nullptr;
}

ConnectionRules RulesFor(const ServerOptions& options,
                         const ServerContent& content,
                         std::size_t descriptors) {
    std::size_t reserved = kSpareDescriptors + 2 * (content.Files().Count() + content.Patches().Count());
    std::size_t derived = descriptors > reserved + 16 ? descriptors - reserved : 16;
    return ConnectionRules{
        .timeouts = {.request = options.requestTimeout, .idle = options.idleTimeout},
        .maxConnections = options.maxConnections != 0 ? options.maxConnections : derived,
        .maxPerAddress = options.maxPerAddress,
        .proxySources = options.proxySources,
    };
}

// Each io_context thread is a worker. A handler that throws in spite of the sessions' own
// guards loses only its connection: the thread logs it and serves on.
void RunIo(asio::io_context& io, ServerLog& log) {
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::exception& e) {
            log.Line(std::string("ombrelta-server: error in a handler: ") + e.what());
        }
    }
}

// The metrics page, when asked for; nothing, after the error is printed, when its address
// cannot be listened on.
bool ListenForMetrics(asio::io_context& io,
                      const ServerOptions& options,
                      const ServerMetrics& metrics,
                      std::optional<MetricsListener>& listener) {
    if (!options.metrics)
        return true;
    try {
        listener.emplace(io, MetricsEndpoint(options), metrics);
        return true;
    } catch (const std::exception& e) {
        PrintError("cannot listen for metrics on " + options.metricsHost + ":" +
                   std::to_string(options.metricsPort) + ": " + e.what());
        return false;
    }
}

void Serve(asio::io_context& io,
           LauncherServer& server,
           MetricsListener* metricsListener,
           ContentReloader& reloader,
           ServerLog& log,
           const ServerOptions& options) {
    ServerSignals signals(
        io,
        [&] {
            log.Line("ombrelta-server: stopping");
            server.Stop();
            io.stop();
        },
        [&] { reloader.Reload(); });
    // Announced only now: whoever reads this line may send a signal at once.
    std::printf("listening on %s:%u\n", options.host.c_str(), unsigned{server.LocalEndpoint().port()});
    if (metricsListener) {
        std::printf("metrics on %s:%u\n", options.metricsHost.c_str(),
                    unsigned{metricsListener->LocalEndpoint().port()});
        metricsListener->Start();
    }
    std::fflush(stdout);
    server.Start();
    std::thread helper([&] { RunIo(io, log); });
    RunIo(io, log);
    helper.join();
}

// Run last: what was loaded and audited must still be what the files hold. True when not.
bool ReportChangedFiles(const ServerContent& content) {
    std::vector<std::string> changed = content.ChangedFiles();
    for (const std::string& what : changed)
        PrintError(what + " changed on disk while it was checked");
    if (!changed.empty())
        PrintError("files changed while checked: " + std::to_string(changed.size()) + "; check again");
    return !changed.empty();
}

int CheckOnly(const ServerContent& content, const ServerOptions& options) {
    const ContentVerdict verdict = AuditContent(content.Patches(), content.Files(), options.root, options.publicKey);
    for (const std::string& problem : verdict.problems)
        PrintError(problem);
    // Warnings are printed whatever the outcome and never change it.
    for (const std::string& warning : verdict.warnings)
        PrintError("warning: " + warning);
    if (ReportChangedFiles(content) || !verdict.problems.empty())
        return kExitBadInput;
    std::printf("content good: %s\n", verdict.description.c_str());
    return kExitDone;
}

// A clean stop or a good check is done; a bad command line or content that cannot be served is
// bad input; an address that cannot be listened on fails the work.
int RunServer(const std::vector<std::string>& args) {
    int exitCode = kExitDone;
    std::optional<ServerOptions> options = ReadOptions(args, exitCode);
    if (!options)
        return exitCode;
    // Loading may take long: a stop or reload asked for meanwhile waits for the serving to begin
    // rather than ending the process. A check keeps the default actions, so Ctrl-C ends it.
    if (!options->check)
        ReserveServerSignals();
    std::size_t descriptors = RaiseDescriptorLimit();
    // Counts, over the server's life, content files found changed while they were served.
    ContentChanges changes;
    std::shared_ptr<const ServerContent> content = LoadContent(*options, options->check ? nullptr : &changes);
    if (!content)
        return kExitBadInput;
    if (options->check)
        return CheckOnly(*content, *options);
    ServerMetrics metrics;
    ServerLog log(metrics);
    log.Line("ombrelta-server: serving " + DescribeContent(*content) + " from " +
             EscapeForLog(PathToUtf8(options->root)));
    for (const std::string& warning : AuditLoad(content->Patches(), content->Files(), options->root, {}))
        log.Line("ombrelta-server: warning: " + warning);
    ConnectionRules rules = RulesFor(*options, *content, descriptors);
    asio::io_context io;
    std::optional<LauncherServer> server;
    try {
        server.emplace(io, content, log, metrics, ListenEndpoint(*options), rules);
    } catch (const std::exception& e) {
        PrintError("cannot listen on " + options->host + ":" + std::to_string(options->port) + ": " +
                   e.what());
        return kExitFailed;
    }
    std::optional<MetricsListener> metricsListener;
    if (!ListenForMetrics(io, *options, metrics, metricsListener))
        return kExitFailed;
    ContentReloader reloader(*server, log, metrics, changes, options->root, options->chunkSize,
                             RememberLoad(content->Patches(), content->Files()));
    content.reset();
    Serve(io, *server, metricsListener ? &*metricsListener : nullptr, reloader, log, *options);
    return kExitDone;
}

}  // namespace
}  // namespace ombrelta::server

namespace ombrelta {

int ToolMain(const std::vector<std::wstring>& arguments) {
    std::vector<std::string> args;
    for (const std::wstring& argument : arguments)
        args.push_back(WideToUtf8(argument));
    return RunPrintingErrors("ombrelta-server", [&] { return server::RunServer(args); });
}

}  // namespace ombrelta
