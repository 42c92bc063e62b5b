#include "tools/server/ServerOptions.h"

#include <charconv>
#include <set>

#include <asio/ip/address_v4.hpp>

#include "tools/server/PathText.h"

namespace ombrelta::server {
namespace {

template <typename Number>
Number ParseNumber(const std::string& text, const std::string& option) {
    Number value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        throw UsageError(option + ": not a number in range: " + text);
    return value;
}

void ParseListen(const std::string& value, ServerOptions& options) {
    std::size_t colon = value.rfind(':');
    if (colon == std::string::npos)
        throw UsageError("--listen: expected HOST:PORT, got " + value);
    options.host = value.substr(0, colon);
    std::error_code error;
    asio::ip::make_address_v4(options.host, error);
    if (error)
        throw UsageError("--listen: not a dotted IPv4 address: " + options.host);
    options.port = ParseNumber<std::uint16_t>(value.substr(colon + 1), "--listen port");
}

void ApplyOption(const std::string& name, const std::string& value, ServerOptions& options) {
    if (name == "--root") {
        if (value.empty())
            throw UsageError("--root: empty directory name");
        options.root = PathFromUtf8(value);
    } else if (name == "--listen") {
        ParseListen(value, options);
    } else {
        options.chunkSize = ParseNumber<std::uint32_t>(value, "--chunk-size");
        if (options.chunkSize == 0)
            throw UsageError("--chunk-size: must be at least 1");
    }
}

}  // namespace

ServerOptions ParseServerOptions(const std::vector<std::string>& args) {
    ServerOptions options;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            return options;
        }
        if (name != "--root" && name != "--listen" && name != "--chunk-size")
            throw UsageError("unknown option: " + name);
        if (!seen.insert(name).second)
            throw UsageError(name + " given twice");
        if (i + 1 == args.size())
            throw UsageError(name + ": missing value");
        ApplyOption(name, args[++i], options);
    }
    if (options.root.empty())
        throw UsageError("--root is required");
    return options;
}

std::string ServerUsage() {
    return "usage: ombrelta-server --root DIR [--listen HOST:PORT] [--chunk-size N]\n"
           "  --root DIR          DIR/patches/*.zip are the patches, DIR/files/ holds the game files\n"
           "  --listen HOST:PORT  dotted IPv4 address and port (default 127.0.0.1:47000; port 0 picks a free "
           "one)\n"
           "  --chunk-size N      at most N data bytes per chunk answer (default and cap: what one packet "
           "carries)\n";
}

}  // namespace ombrelta::server
