#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/ChildProcess.h"

namespace ombrelta::test {

/// Path of the native ombrelta-server built with the tests.
std::string ServerExe();

/// ombrelta-server run by a test on an ephemeral port of 127.0.0.1 (or another loopback address),
/// its log kept in a file.
class ServerProcess {
public:
    /// Starts the server (command: the program and any launcher in front of it, by default the
    /// native server) over root with extra options, listening on host as --listen takes it;
    /// Port() is 0 (and the test has failed) when it does not report a listening port, and so is
    /// MetricsPort() when extraArgs hold --metrics and it does not report that port.
    ServerProcess(const std::string& root,
                  const std::vector<std::string>& extraArgs,
                  const std::string& logPath,
                  const std::vector<std::string>& command = {ServerExe()},
                  const ChildOptions& options = {},
                  const std::string& host = "127.0.0.1");

    std::uint16_t Port() const { return port; }
    std::uint16_t MetricsPort() const { return metricsPort; }
    /// Sends a signal to the server.
    void Signal(int signal) { child->Signal(signal); }
    /// Stops the server with SIGTERM and returns its exit code.
    int Stop();
    /// The server's log so far.
    std::string Log() const;
    /// Waits until the log holds text (its lines are written by a thread of their own); false,
    /// after a test failure showing the log, when it does not within timeout.
    bool WaitForLog(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    std::string logPath;
    std::unique_ptr<ChildProcess> child;
    std::uint16_t port = 0;
    std::uint16_t metricsPort = 0;
};

/// How long a child may take before the test gives up on it (a hang, never a speed check).
inline constexpr std::chrono::milliseconds kChildTimeout{120000};

}  // namespace ombrelta::test
