#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ombrelta::server {

/// Largest request head (request line and header fields) a scraper may send.
inline constexpr std::size_t kMaxRequestHead = 8192;
/// The blank line that ends a request head.
inline constexpr std::string_view kRequestHeadEnd = "\r\n\r\n";

/// The whole HTTP/1.1 response to one request head: 200 with the page (page() is called only
/// then) for GET or HEAD of "/metrics" (a query is ignored), 404 for another path, 405 for
/// another method, 400 for a head that is not HTTP/1.x. Every response closes the connection.
std::string MetricsResponse(std::string_view head, const std::function<std::string()>& page);

}  // namespace ombrelta::server
