#include "tools/server/ServerOptions.h"

#include <optional>
#include <set>

#include <asio/ip/address.hpp>

#include "common/Decimal.h"
#include "tools/content/PathText.h"
#include "tools/content/PublicKeyArgument.h"
#include "tools/server/ServerMetrics.h"

namespace ombrelta::server {
namespace {

template <typename Number>
Number ParseNumber(const std::string& text, const std::string& option) {
    if (const std::optional<Number> value = ParseDecimal<Number>(text))
        return *value;
    throw UsageError(option + ": not a number in range: " + text);
}

// An IPv6 address is written in brackets, as in a URL ("[::1]:47000"), so that its colons
// cannot be taken for the one before the port.
asio::ip::address ListenAddress(const std::string& host, const std::string& option) {
    std::error_code error;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        std::string inside = host.substr(1, host.size() - 2);
        asio::ip::address_v6 address = asio::ip::make_address_v6(inside, error);
        if (error)
            throw UsageError(option + ": not an IPv6 address: " + inside);
        return address;
    }
    asio::ip::address_v4 address = asio::ip::make_address_v4(host, error);
    if (error)
        throw UsageError(option + ": not a dotted IPv4 address: " + host);
    return address;
}

void ParseListen(const std::string& value, ServerOptions& options) {
    std::size_t colon = value.rfind(':');
    if (colon == std::string::npos)
        throw UsageError("--listen: expected HOST:PORT, got " + value);
    options.host = value.substr(0, colon);
    ListenAddress(options.host, "--listen");
    options.port = ParseNumber<std::uint16_t>(value.substr(colon + 1), "--listen port");
}

// Metrics are for the operator's own Prometheus: loopback unless the host says otherwise.
void ParseMetrics(const std::string& value, ServerOptions& options) {
    if (!MetricsAvailable())
        throw UsageError("--metrics: not available in this build (no Prometheus client library on Windows)");
    options.metrics = true;
    std::size_t colon = value.rfind(':');
    if (colon != std::string::npos) {
        options.metricsHost = value.substr(0, colon);
        ListenAddress(options.metricsHost, "--metrics");
    }
    options.metricsPort = ParseNumber<std::uint16_t>(
        colon == std::string::npos ? value : value.substr(colon + 1), "--metrics port");
}

std::chrono::milliseconds ParseDuration(const std::string& text, const std::string& option) {
    bool millis = text.size() > 2 && text.ends_with("ms");
    auto count = ParseNumber<std::uint32_t>(millis ? text.substr(0, text.size() - 2) : text, option);
    if (count == 0)
        throw UsageError(option + ": must be at least 1");
    return std::chrono::milliseconds(millis ? count : std::uint64_t{count} * 1000);
}

std::size_t ParseCount(const std::string& text, const std::string& option) {
    auto count = ParseNumber<std::uint32_t>(text, option);
    if (count == 0)
        throw UsageError(option + ": must be at least 1");
    return count;
}

void ApplyOption(const std::string& name, const std::string& value, ServerOptions& options) {
    if (name == "--root") {
        if (value.empty())
            throw UsageError("--root: empty directory name");
        options.root = PathFromUtf8(value);
    } else if (name == "--listen") {
        ParseListen(value, options);
    } else if (name == "--metrics") {
        ParseMetrics(value, options);
    } else if (name == "--request-timeout") {
        options.requestTimeout = ParseDuration(value, name);
    } else if (name == "--idle-timeout") {
        options.idleTimeout = ParseDuration(value, name);
    } else if (name == "--max-connections") {
        options.maxConnections = ParseCount(value, name);
    } else if (name == "--max-per-address") {
        options.maxPerAddress = ParseCount(value, name);
    } else if (name == "--proxy-protocol") {
        try {
            options.proxySources = ProxySources::Parse(value);
        } catch (const std::invalid_argument& e) {
            throw UsageError(name + ": " + e.what());
        }
    } else if (name == "--public-key") {
        options.publicKey = ParsePublicKeyArgument(value);
        if (!options.publicKey->Valid())
            throw UsageError("--public-key: not one or two P-256 keys in base64, separated by a comma, nor the "
                             "publickey= line keygen prints");
    } else {
        options.chunkSize = ParseNumber<std::uint32_t>(value, "--chunk-size");
        if (options.chunkSize == 0)
            throw UsageError("--chunk-size: must be at least 1");
    }
}

const std::set<std::string> kValueOptions = {
    "--root",         "--listen",          "--chunk-size",      "--request-timeout",
    "--idle-timeout", "--max-connections", "--max-per-address", "--proxy-protocol",
    "--metrics",      "--public-key"};

}  // namespace

ServerOptions ParseServerOptions(const std::vector<std::string>& args) {
    ServerOptions options;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h" || name == "--version") {
            (name == "--version" ? options.version : options.help) = true;
            return options;
        }
        bool flag = name == "--check";
        if (!flag && !kValueOptions.contains(name))
            throw UsageError("unknown option: " + name);
        if (!seen.insert(name).second)
            throw UsageError(name + " given twice");
        if (flag) {
            options.check = true;
            continue;
        }
        if (i + 1 == args.size())
            throw UsageError(name + ": missing value");
        ApplyOption(name, args[++i], options);
    }
    if (options.root.empty())
        throw UsageError("--root is required");
    if (options.publicKey && !options.check)
        throw UsageError("--public-key goes with --check");
    return options;
}

asio::ip::tcp::endpoint ListenEndpoint(const ServerOptions& options) {
    return {ListenAddress(options.host, "--listen"), options.port};
}

asio::ip::tcp::endpoint MetricsEndpoint(const ServerOptions& options) {
    return {ListenAddress(options.metricsHost, "--metrics"), options.metricsPort};
}

std::string ServerUsage() {
    return "usage: ombrelta-server --root DIR [--listen HOST:PORT] [--chunk-size N]\n"
           "                      [--request-timeout T] [--idle-timeout T] [--max-connections N]\n"
           "                      [--max-per-address N] [--proxy-protocol FROM] [--metrics HOST:PORT]\n"
           "                      [--check [--public-key KEY]]\n"
           "       ombrelta-server --help | --version\n"
           "  --root DIR          DIR/patches/*.zip are the patches, DIR/files/ holds the game files\n"
           "  --listen HOST:PORT  IPv4 or [IPv6] address and port (default 127.0.0.1:47000; port 0 picks "
           "a free one)\n"
           "  --chunk-size N      at most N data bytes per chunk answer (default and cap: what one packet "
           "carries)\n"
           "  --request-timeout T a request must arrive whole within T of its first byte (default 10)\n"
           "  --idle-timeout T    close a connection idle for T (default 120); T is seconds, or Nms\n"
           "  --max-connections N connections open at once (default: from the descriptor limit)\n"
           "  --max-per-address N connections open at once from one address (default 256)\n"
           "  --proxy-protocol FROM  connections from FROM (addresses or address/prefix, comma-separated)\n"
           "                      must begin with a PROXY v2 header; the client it names counts instead\n"
           "  --metrics HOST:PORT serve Prometheus metrics at http://HOST:PORT/metrics (a port alone: on "
           "127.0.0.1)\n"
           "  --check             check the content, print every fault, exit 0 (good) or 2\n"
           "  --public-key KEY    with --check: also check every signature as a launcher with\n"
           "                      publickey=KEY would (one key, or two separated by a comma, or the\n"
           "                      publickey= line keygen prints)\n";
}

}  // namespace ombrelta::server
