// ombrelta-server: the reference launcher server, serving patches and game files from one directory.
#include <csignal>
#include <cstdio>
#include <exception>
#include <optional>
#include <thread>

#include <asio.hpp>

#include "common/Text.h"
#include "tools/entry/ToolMain.h"
#include "tools/server/LauncherServer.h"
#include "tools/server/PathText.h"
#include "tools/server/ServerContent.h"
#include "tools/server/ServerLog.h"
#include "tools/server/ServerOptions.h"

namespace ombrelta::server {
namespace {

void PrintError(const std::string& text) {
    std::fprintf(stderr, "ombrelta-server: %s\n", text.c_str());
}

std::optional<ServerOptions> ReadOptions(const std::vector<std::string>& args, int& exitCode) {
    try {
        ServerOptions options = ParseServerOptions(args);
        if (!options.help)
            return options;
        std::fputs(ServerUsage().c_str(), stdout);
        exitCode = 0;
    } catch (const UsageError& e) {
        PrintError(e.what());
        std::fputs(ServerUsage().c_str(), stderr);
        exitCode = 2;
    }
    return std::nullopt;
}

// Each io_context thread is a worker: an escaping exception stops the whole server with a
// message instead of terminating without one.
void RunIo(asio::io_context& io, ServerLog& log, bool& failed) {
    try {
        io.run();
    } catch (const std::exception& e) {
        log.Line(std::string("ombrelta-server: stopped by an error: ") + e.what());
        failed = true;
        io.stop();
    }
}

int Serve(asio::io_context& io, LauncherServer& server, const std::string& host, ServerLog& log) {
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const std::error_code& error, int) {
        if (error)
            return;
        log.Line("ombrelta-server: stopping");
        server.Stop();
        io.stop();
    });
    // Announced only now: whoever reads this line may send a signal at once.
    std::printf("listening on %s:%u\n", host.c_str(), unsigned{server.LocalEndpoint().port()});
    std::fflush(stdout);
    server.Start();
    bool failedMain = false;
    bool failedHelper = false;
    std::thread helper([&] { RunIo(io, log, failedHelper); });
    RunIo(io, log, failedMain);
    helper.join();
    return failedMain || failedHelper ? 1 : 0;
}

// Exit codes: 0 after a clean stop, 2 for a bad command line or content that cannot be served,
// 1 when the address cannot be listened on or serving fails.
int RunServer(const std::vector<std::string>& args) {
    int exitCode = 0;
    std::optional<ServerOptions> options = ReadOptions(args, exitCode);
    if (!options)
        return exitCode;
    std::optional<ServerContent> content;
    try {
        content.emplace(options->root, options->chunkSize);
    } catch (const std::exception& e) {
        PrintError(e.what());
        return 2;
    }
    ServerLog log;
    log.Line("ombrelta-server: serving " + std::to_string(content->patches().Count()) + " patches and " +
             std::to_string(content->files().Count()) + " game files from " + PathToUtf8(options->root));
    asio::io_context io;
    std::optional<LauncherServer> server;
    try {
        server.emplace(io, *content, log, ListenEndpoint(*options));
    } catch (const std::exception& e) {
        PrintError("cannot listen on " + options->host + ":" + std::to_string(options->port) + ": " +
                   e.what());
        return 1;
    }
    return Serve(io, *server, options->host, log);
}

}  // namespace
}  // namespace ombrelta::server

namespace ombrelta {

int ToolMain(const std::vector<std::wstring>& arguments) {
    std::vector<std::string> args;
    for (const std::wstring& argument : arguments)
        args.push_back(WideToUtf8(argument));
    return server::RunServer(args);
}

}  // namespace ombrelta
