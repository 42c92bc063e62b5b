#include "tests/e2e/HttpGet.h"

#include <sstream>

#include "common/Socket.h"

namespace ombrelta::test {

// Also polls a server that is not up yet, so a refused connection is no test failure.
std::string HttpGet(std::uint16_t port, const std::string& target, const std::string& headerLines) {
    const SocketHandle socket = CreateTcpSocket();
    if (socket == kInvalidSocket)
        return {};
    SetSocketTimeouts(socket, 10000);
    std::string response;
    const std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headerLines + "\r\n";
    if (ConnectSocket(socket, *ParseIPv4("127.0.0.1"), port) &&
        SendSome(socket, reinterpret_cast<const std::uint8_t*>(request.data()), request.size()) ==
            static_cast<int>(request.size())) {
        std::uint8_t buffer[65536];
        for (int got; (got = ReceiveSome(socket, buffer, sizeof buffer)) > 0;)
            response.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
    }
    CloseSocket(socket);
    return response;
}

std::string HttpBody(const std::string& response) {
    std::size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::optional<double> SampleValue(const std::string& page, const std::string& sample) {
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > sample.size() && line.starts_with(sample) && line[sample.size()] == ' ')
            return std::stod(line.substr(sample.size() + 1));
    }
    return std::nullopt;
}

}  // namespace ombrelta::test
