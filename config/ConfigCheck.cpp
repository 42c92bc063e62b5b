#include "config/ConfigCheck.h"

#include <optional>
#include <string_view>

#include "common/Decimal.h"
#include "common/Socket.h"
#include "config/LauncherConfig.h"

namespace ombrelta {
namespace {

// The launcher reads the port leniently ("42x" is 42); only a plain port number is meant.
std::optional<std::string> CheckSetting(const ConfigSetting& setting, bool resolve) {
    if (setting.key == "port") {
        const std::optional<int> port = ParseDecimal<int>(setting.value);
        if (!port || *port < 1 || *port > 65535)
            return std::string("expected a port number from 1 to 65535");
        return std::nullopt;
    }
    if (setting.key == "host") {
        if (setting.value.empty())
            return std::string("expected the launcher server's address");
        if (!resolve && !ParseIPv4(setting.value))
            return std::string("expected a dotted IPv4 address (a host name or IPv6 address needs resolve=1)");
        return std::nullopt;
    }
    return CheckOption(setting.key, setting.value);
}

}  // namespace

std::vector<std::string> CheckConfigText(const std::string& text) {
    const bool resolve = ParseConfigText(text).options.resolve;
    std::vector<std::string> faults;
    bool host = false;
    bool port = false;
    std::size_t number = 0;
    for (std::string_view rest(text); !rest.empty() || number == 0;) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::string prefix = "line " + std::to_string(++number) + ": ";
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed.starts_with('#'))
            continue;
        const std::optional<ConfigSetting> setting = SplitConfigLine(line);
        LauncherConfig scratch;
        if (!setting) {
            faults.push_back(prefix + "not a key=value line: " + trimmed);
        } else if (!ApplyConfigSetting(scratch, setting->key, setting->value)) {
            faults.push_back(prefix + "unknown key " + setting->key);
        } else if (const std::optional<std::string> reason = CheckSetting(*setting, resolve)) {
            faults.push_back(prefix + setting->key + "=" + setting->value + ": " + *reason);
        }
        host = host || (setting && setting->key == "host");
        port = port || (setting && setting->key == "port");
    }
    if (!host)
        faults.push_back("no host line: the launcher has no server to connect to");
    if (!port)
        faults.push_back("no port line: the launcher has no server to connect to");
    return faults;
}

}  // namespace ombrelta
