// The checker reaching the server by name and over IPv6 once "Ombrel.dat" asks for resolution.
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace ombrelta::test {
namespace {

namespace fs = std::filesystem;

struct Reach {
    const char* what;
    std::string listen;      // as --listen takes it
    std::string configHost;  // as "Ombrel.dat" names it
    bool windows = false;
};

// A server with one game file listening on row.listen, and an installation whose "Ombrel.dat"
// names row.configHost, then extraLines.
class Scenario {
public:
    Scenario(const Reach& row, const std::string& extraLines) : windows(row.windows) {
        WriteTree(Dir("server") / "files", {{"data/a.txt", "abc"}});
        server.emplace(PathArg(Dir("server")), std::vector<std::string>{}, PathArg(Dir("server.log")),
                       std::vector<std::string>{ServerExe()}, ChildOptions{}, row.listen);
        EXPECT_NE(server->Port(), 0);
        WriteLauncherConfigForHost(Dir("install"), row.configHost, server->Port(), extraLines);
    }

    fs::path Dir(const char* name) const { return fs::path(temp.Path()) / name; }

    RunResult RunStartupCheck() const {
        std::vector<std::string> argv{OMBRELTA_CHECK_EXE};
        if (windows)
            argv = {OMBRELTA_WINE_RUN, OMBRELTA_WINDOWS_CHECK_EXE};
        argv.insert(argv.end(), {"--mode", "startup"});
        return RunToEnd(argv, PathArg(Dir("install")), kChildTimeout);
    }

    TempDir temp;
    bool windows;
    std::optional<ServerProcess> server;
};

TEST(ServerResolveTest, CheckerReachesTheServerByNameAndOverIPv6) {
    const Reach rows[] = {
        {"native by name", "127.0.0.1", "localhost"},
        {"native over IPv6", "[::1]", "::1"},
        {"native, bracketed, server on every address", "[::]", "[::1]"},
        {"Windows by name", "127.0.0.1", "localhost", true},
        {"Windows over IPv6", "[::1]", "::1", true},
    };
    for (const Reach& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.windows && !fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
            continue;
        Scenario scenario(row, "resolve=1\n");
        RunResult run = scenario.RunStartupCheck();
        EXPECT_EQ(run.exitCode, 0) << run.out << scenario.server->Log();
        EXPECT_NE(run.out.find("100\tReady.\n"), std::string::npos) << run.out;
        EXPECT_EQ(ReadFile(scenario.Dir("install") / "data/a.txt"), "abc");
        EXPECT_EQ(scenario.server->Stop(), 0);
        // An IPv6 peer is logged as [address]:port, so its port cannot be read as part of it.
        const std::string peer = row.configHost == "localhost" ? "127.0.0.1:" : "[::1]:";
        EXPECT_NE(scenario.server->Log().find(peer), std::string::npos) << scenario.server->Log();
    }
}

TEST(ServerResolveTest, WithoutTheKeyANameFailsWithoutTraffic) {
    const Reach rows[] = {{"native", "127.0.0.1", "localhost"}, {"Windows", "127.0.0.1", "localhost", true}};
    for (const Reach& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.windows && !fs::exists(OMBRELTA_WINDOWS_CHECK_EXE))
            continue;
        Scenario scenario(row, "");
        RunResult run = scenario.RunStartupCheck();
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "error\tFailed to connect to launcher server.\n");
        EXPECT_EQ(scenario.server->Stop(), 0);
        EXPECT_EQ(scenario.server->Log().find("connection opened"), std::string::npos)
            << scenario.server->Log();
    }
}

}  // namespace
}  // namespace ombrelta::test
