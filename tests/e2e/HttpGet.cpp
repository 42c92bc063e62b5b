#include "tests/e2e/HttpGet.h"

#include <sstream>

#include "tests/e2e/RawConnection.h"

namespace ombrelta::test {

std::string HttpGet(std::uint16_t port, const std::string& target) {
    RawConnection connection(port);
    if (!connection.Connected() ||
        !connection.Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"))
        return {};
    return connection.ReceiveToEnd();
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
