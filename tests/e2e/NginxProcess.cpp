#include "tests/e2e/NginxProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/ContentBuilder.h"

namespace ombrelta::test {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

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

std::uint16_t FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof(address);
    std::uint16_t port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

bool WaitUntilListening(std::uint16_t port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = Loopback(port);
        const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        close(fd);
        if (connected)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

NginxProcess::NginxProcess(const std::filesystem::path& dir,
                           const std::filesystem::path& root,
                           const std::string& extraServer,
                           const std::string& listenSuffix)
    : dir(dir) {
    std::filesystem::create_directories(dir / "tmp");
    // Another program may take the port between its release and nginx's bind: try again then.
    for (int attempt = 0; attempt < 5 && port == 0; ++attempt) {
        const std::uint16_t candidate = FreeLoopbackPort();
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
