#include "tests/e2e/NginxProcess.h"

#include <chrono>
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"
#include "tests/e2e/LoopbackPort.h"

namespace ombrelta::test {
namespace {

std::string Config(const std::filesystem::path& dir,
                   const std::filesystem::path& root,
                   std::uint16_t port,
                   const std::string& extraServer,
                   const std::string& listenSuffix) {
    const std::string d = dir.string();
    return "worker_processes 1;\npid " + d + "/nginx.pid;\nerror_log " + d + "/error.log;\n" +
           "events { worker_connections 64; }\nhttp {\n"
           "  log_format test '$uri $status $body_bytes_sent \"$http_range\" $connection';\n"
           "  access_log " + d + "/access.log test;\n"
           "  client_body_temp_path " + d + "/tmp; proxy_temp_path " + d + "/tmp;\n"
           "  fastcgi_temp_path " + d + "/tmp; uwsgi_temp_path " + d + "/tmp; scgi_temp_path " + d + "/tmp;\n"
           "  default_type application/octet-stream;\n  sendfile on;\n"
           "  server {\n    listen 127.0.0.1:" + std::to_string(port) + listenSuffix + ";\n"
           "    root " + root.string() + ";\n" + extraServer + "\n  }\n}\n";
}

}  // namespace

NginxProcess::NginxProcess(const std::filesystem::path& dir,
                           const std::filesystem::path& root,
                           const std::string& extraServer,
                           const std::string& listenSuffix)
    : dir(dir) {
    std::filesystem::create_directories(dir / "tmp");
    // Another program may take the port between its release and nginx's bind: try again then.
    for (int attempt = 0; attempt < 5 && port == 0; ++attempt) {
        const std::uint16_t candidate = FreePort();
        WriteFile(dir / "nginx.conf", Config(dir, root, candidate, extraServer, listenSuffix));
        child = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/sbin/nginx", "-p", dir.string(), "-e", (dir / "error.log").string(), "-c",
                                     (dir / "nginx.conf").string(), "-g", "daemon off; master_process off;"},
            dir.string(), (dir / "stderr.log").string());
        if (WaitUntilListening(candidate))
            port = candidate;
        else
            child.reset();
    }
    EXPECT_NE(port, 0) << ReadFile(dir / "error.log") << ReadFile(dir / "stderr.log");
}

NginxProcess::~NginxProcess() {
    Stop();
}

void NginxProcess::Stop() {
    if (!child)
        return;
    child->Signal(SIGTERM);
    child->Wait(std::chrono::seconds(10));
    child.reset();
}

std::string NginxProcess::AccessLog() const {
    return ReadFile(dir / "access.log");
}

}  // namespace ombrelta::test
