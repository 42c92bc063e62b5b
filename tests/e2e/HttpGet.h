#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ombrelta::test {

/// The whole response (status line, header fields, body) to an HTTP/1.1 GET of target from
/// 127.0.0.1:port, read until the server closes; empty when nothing came (a refused connection
/// too, which is no test failure). headerLines ("Name: value\r\n" each) are sent as well.
std::string HttpGet(std::uint16_t port, const std::string& target, const std::string& headerLines = "");

/// The body of a response; empty when it has none.
std::string HttpBody(const std::string& response);

/// The value of one sample of a Prometheus text page, named as it stands there
/// ("name" or "name{label=\"value\"}"); nothing when the page has no such line.
std::optional<double> SampleValue(const std::string& page, const std::string& sample);

}  // namespace ombrelta::test
