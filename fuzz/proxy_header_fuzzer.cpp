// Feeds arbitrary bytes to the server as the start of a connection from a balancer: the fixed part
// of a PROXY header, then as much of the rest as it announces. No input may crash or read outside
// its bytes (AddressSanitizer watches); an announced length never goes past the accepted maximum,
// and a header either names an endpoint, names none, or is refused with an exception.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "tools/server/ProxyHeader.h"

namespace server = ombrelta::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < server::kProxyHeaderFixedSize)
        return 0;
    const std::span<const std::uint8_t> bytes(data, size);
    const auto prefix = server::ParseProxyPrefix(bytes.first<server::kProxyHeaderFixedSize>());
    if (!prefix)
        return 0;
    if (server::kProxyHeaderFixedSize + prefix->remaining > server::kProxyHeaderMaxSize)
        __builtin_trap();
    if (size < server::kProxyHeaderFixedSize + prefix->remaining)
        return 0;
    try {
        (void)server::ParseProxyHeader(bytes.first(server::kProxyHeaderFixedSize + prefix->remaining));
    } catch (const std::runtime_error&) {
    }
    return 0;
}
