#include "tools/server/MetricsHttp.h"

namespace ombrelta::server {
namespace {

std::string Response(std::string_view status,
                     std::string_view extraFields,
                     const std::string& body,
                     bool head) {
    std::string response = "HTTP/1.1 ";
    response.append(status).append("\r\n");
    response.append(extraFields);
    response.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
    response.append("Connection: close\r\n\r\n");
    if (!head)
        response.append(body);
    return response;
}

std::string PlainResponse(std::string_view status) {
    return Response(status, "Content-Type: text/plain; charset=utf-8\r\n", std::string(status) + "\n", false);
}

}  // namespace

std::string MetricsResponse(std::string_view head, const std::function<std::string()>& page) {
    std::string_view line = head.substr(0, head.find("\r\n"));
    std::size_t firstSpace = line.find(' ');
    std::size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || lastSpace == firstSpace ||
        !line.substr(lastSpace + 1).starts_with("HTTP/1."))
        return PlainResponse("400 Bad Request");
    std::string_view method = line.substr(0, firstSpace);
    std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    if (target.substr(0, target.find('?')) != "/metrics")
        return PlainResponse("404 Not Found");
    if (method != "GET" && method != "HEAD")
        return Response("405 Method Not Allowed",
                        "Allow: GET, HEAD\r\nContent-Type: text/plain; charset=utf-8\r\n",
                        "405 Method Not Allowed\n", false);
    return Response("200 OK", "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n", page(),
                    method == "HEAD");
}

}  // namespace ombrelta::server
