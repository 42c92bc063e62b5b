#include "protocol/HostAddresses.h"

namespace ombrelta {

std::vector<SocketAddress> HostAddresses(const std::string& host, std::uint16_t port) {
    if (std::optional<std::uint32_t> address = ParseIPv4(host))
        return {IPv4SocketAddress(*address, port)};
    std::string name = host;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    // A bracket left over is no name any resolver should be asked about.
    if (name.find_first_of("[]") != std::string::npos)
        return {};
    return ResolveHost(name, port);
}

}  // namespace ombrelta
