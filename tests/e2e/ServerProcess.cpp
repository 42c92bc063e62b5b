#include "tests/e2e/ServerProcess.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

namespace ombrelta::test {

std::string ServerExe() {
    return OMBRELTA_SERVER_EXE;
}

ServerProcess::ServerProcess(const std::string& root,
                             const std::vector<std::string>& extraArgs,
                             const std::string& logPath,
                             const std::vector<std::string>& command,
                             const ChildOptions& options,
                             const std::string& host)
    : logPath(logPath) {
    std::vector<std::string> argv = command;
    argv.insert(argv.end(), {"--root", root, "--listen", host + ":0"});
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    child = std::make_unique<ChildProcess>(argv, "", logPath, options);
    std::optional<std::string> line = child->ReadLine(kChildTimeout);
    const std::string prefix = "listening on " + host + ":";
    if (!line || line->rfind(prefix, 0) != 0) {
        ADD_FAILURE() << "server did not start: " << line.value_or("(no output)") << "\n" << Log();
        return;
    }
    port = static_cast<std::uint16_t>(std::stoul(line->substr(prefix.size())));
    if (std::find(extraArgs.begin(), extraArgs.end(), "--metrics") == extraArgs.end())
        return;
    line = child->ReadLine(kChildTimeout);
    const std::size_t colon = line ? line->rfind(':') : std::string::npos;
    if (!line || !line->starts_with("metrics on ") || colon == std::string::npos) {
        ADD_FAILURE() << "server did not report its metrics port: " << line.value_or("(no output)");
        return;
    }
    metricsPort = static_cast<std::uint16_t>(std::stoul(line->substr(colon + 1)));
}

int ServerProcess::Stop() {
    child->Signal(SIGTERM);
    return child->Wait(kChildTimeout);
}

std::string ServerProcess::Log() const {
    std::ifstream in(logPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ServerProcess::WaitForLog(const std::string& text, std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Log().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "the log never said: " << text << "\n" << Log();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace ombrelta::test
