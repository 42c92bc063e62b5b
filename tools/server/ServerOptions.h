#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <asio/ip/tcp.hpp>

#include "common/PublicKeySet.h"
#include "tools/server/ProxyHeader.h"

namespace ombrelta::server {

/// Port used when --listen is not given.
inline constexpr std::uint16_t kDefaultPort = 47000;

/// The command line of ombrelta-server.
struct ServerOptions {
    std::filesystem::path root;
    std::string host = "127.0.0.1";  // dotted IPv4, or IPv6 in brackets ("[::1]")
    std::uint16_t port = kDefaultPort;
    std::uint32_t chunkSize = 0;                      // 0: the largest a packet carries
    std::chrono::milliseconds requestTimeout{10000};  // from a request's first byte to its last
    std::chrono::milliseconds idleTimeout{120000};    // no request begun, or an answer not taken
    std::size_t maxConnections = 0;                   // 0: derived from the descriptor limit
    std::size_t maxPerAddress = 256;                  // a café or carrier NAT shares one address
    ProxySources proxySources;                        // balancers that send PROXY headers
    bool metrics = false;                             // serve /metrics on metricsHost:metricsPort
    std::string metricsHost = "127.0.0.1";
    std::uint16_t metricsPort = 0;
    bool check = false;                               // check the content and exit
    std::optional<PublicKeySet> publicKey;  // with check: signatures as this launcher key checks them
    bool help = false;
    bool version = false;  // print the program's version and exit
};

/// A command line that cannot be used; what() says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Parses the arguments after the program name (UTF-8). Throws UsageError for an unknown or
/// repeated option, a missing or malformed value (a timeout is a whole number of seconds, or of
/// milliseconds with "ms"; timeouts and caps are at least 1; --proxy-protocol takes addresses
/// with optional prefix lengths; --metrics takes HOST:PORT as --listen does, or a port alone on
/// 127.0.0.1, and only where MetricsAvailable()), or a missing --root.
ServerOptions ParseServerOptions(const std::vector<std::string>& args);

/// The address and port to listen on. Throws UsageError when host is not one ParseServerOptions
/// accepts.
asio::ip::tcp::endpoint ListenEndpoint(const ServerOptions& options);

/// The address and port of the metrics page (options.metrics set). Throws UsageError as
/// ListenEndpoint does.
asio::ip::tcp::endpoint MetricsEndpoint(const ServerOptions& options);

/// The usage text, ending with a line feed.
std::string ServerUsage();

}  // namespace ombrelta::server
