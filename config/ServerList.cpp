#include "config/ServerList.h"

#include <optional>

#include "common/Decimal.h"
#include "common/Text.h"
#include "config/LauncherConfig.h"

namespace ombrelta {
namespace {

// An IPv6 address needs its brackets, so that its last colon is never taken for the port's.
bool IsUsableHost(std::string_view host) {
    if (host.empty())
        return false;
    if (host.front() != '[')
        return host.find_first_of("[]:") == std::string_view::npos;
    return host.size() > 2 && host.back() == ']' &&
           host.substr(1, host.size() - 2).find_first_of("[]") == std::string_view::npos;
}

std::optional<ServerAddress> ParseEntry(std::string_view entry) {
    const std::string text = Trim(entry);
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return std::nullopt;
    const std::string host = Trim(std::string_view(text).substr(0, colon));
    const std::optional<int> port = ParseDecimal<int>(Trim(std::string_view(text).substr(colon + 1)));
    if (!IsUsableHost(host) || !port || *port < 1 || *port > 65535)
        return std::nullopt;
    ServerAddress server{Utf8ToWide(host), *port};
    if (server.host.empty())
        return std::nullopt;
    return server;
}

}  // namespace

std::vector<ServerAddress> ParseServerList(std::string_view value) {
    std::vector<ServerAddress> servers;
    while (servers.size() < kMaxExtraServers) {
        const std::size_t comma = value.find(',');
        if (std::optional<ServerAddress> server = ParseEntry(value.substr(0, comma)))
            servers.push_back(*server);
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return servers;
}

}  // namespace ombrelta
