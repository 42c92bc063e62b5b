#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/e2e/ChildProcess.h"
#include "tests/e2e/LoopbackPort.h"

namespace ombrelta::test {

/// nginx serving root on 127.0.0.1 at an ephemeral port, run by a test with a configuration of
/// its own in dir; each access is logged to dir/access.log as "URI STATUS BYTES RANGE CONNECTION".
/// extraServer: more directives for the server block (locations, "ssl" settings).
class NginxProcess {
public:
    NginxProcess(const std::filesystem::path& dir,
                 const std::filesystem::path& root,
                 const std::string& extraServer = {},
                 const std::string& listenSuffix = {});
    ~NginxProcess();

    /// The port; 0 (and the test has failed) when nginx did not start.
    std::uint16_t Port() const { return port; }
    /// Stops nginx; requests are refused afterwards.
    void Stop();
    /// The access log so far.
    std::string AccessLog() const;

private:
    std::filesystem::path dir;
    std::unique_ptr<ChildProcess> child;
    std::uint16_t port = 0;
};

}  // namespace ombrelta::test
