#include "config/LauncherConfig.h"

#include "common/AsciiCase.h"
#include "common/FileSystem.h"
#include "common/Text.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace ombrelta {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::size_t kReadChunk = 64 * 1024;

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// atoi-like, but a number past the 32-bit range gives the nearest limit instead of wrapping.
std::int32_t ParseLenientPort(std::string_view value) {
    std::size_t pos = 0;
    while (pos < value.size() && IsCSpace(value[pos]))
        ++pos;
    bool negative = false;
    if (pos < value.size() && (value[pos] == '+' || value[pos] == '-'))
        negative = value[pos++] == '-';
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (; pos < value.size() && value[pos] >= '0' && value[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (value[pos] - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

bool ApplyConfigSetting(LauncherConfig& config, const std::string& key, const std::string& value) {
    if (key == "host")
        config.host = Utf8ToWide(value);
    else if (key == "port")
        config.port = ParseLenientPort(value);
    else if (key == "facebook")
        config.facebook = Utf8ToWide(value);
    else if (key == "discord")
        config.discord = Utf8ToWide(value);
    else if (key == "whatsapp")
        config.whatsapp = Utf8ToWide(value);
    else if (key == "website")
        config.website = Utf8ToWide(value);
    else
        return ApplyOption(config.options, key, value);
    return true;
}

std::optional<ConfigSetting> SplitConfigLine(std::string_view rawLine) {
    std::string line = Trim(rawLine);
    std::size_t equals = line.find('=');
    if (line.empty() || equals == std::string::npos || equals == 0)
        return std::nullopt;
    return ConfigSetting{.key = LowerAsciiLetters(Trim(std::string_view(line).substr(0, equals))),
                         .value = Trim(std::string_view(line).substr(equals + 1))};
}

std::string Trim(std::string_view text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

LauncherConfig ParseConfigText(const std::string& text) {
    LauncherConfig config;
    std::string_view rest(text);
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        if (const std::optional<ConfigSetting> setting = SplitConfigLine(rest.substr(0, end)))
            ApplyConfigSetting(config, setting->key, setting->value);
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return config;
}

LauncherConfig ReadConfigFile() {
    std::optional<File> file = File::OpenRead(L"Ombrel.dat");
    if (!file)
        throw std::runtime_error("Ombrel.dat not found.");
    std::vector<std::uint8_t> bytes;
    for (;;) {
        std::size_t used = bytes.size();
        bytes.resize(used + kReadChunk);
        std::optional<std::size_t> got = file->Read(bytes.data() + used, kReadChunk);
        // A read error is not an end of file: half a configuration must not pass for a whole one.
        if (!got)
            throw std::runtime_error("Ombrel.dat cannot be read.");
        bytes.resize(used + *got);
        if (*got == 0)
            break;
    }
    if (bytes.empty())
        throw std::runtime_error("Ombrel.dat is empty.");
    UnscrambleConfig(bytes);
    return ParseConfigText(std::string(bytes.begin(), bytes.end()));
}

}  // namespace ombrelta
