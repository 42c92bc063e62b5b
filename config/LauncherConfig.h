#pragma once

#include "config/LauncherOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelta {

/// The settings of "Ombrel.dat".
struct LauncherConfig {
    std::wstring host;
    std::int32_t port = 0;
    std::wstring facebook;
    std::wstring discord;
    std::wstring whatsapp;
    std::wstring website;
    LauncherOptions options;
};

/// Reads and unscrambles "Ombrel.dat" from the current directory. Throws std::runtime_error
/// "Ombrel.dat not found." or "Ombrel.dat is empty.".
LauncherConfig ReadConfigFile();

/// Parses unscrambled key=value text; never fails (unknown or malformed lines are skipped).
LauncherConfig ParseConfigText(const std::string& text);

/// One meaningful line: its key with the letters A to Z lowered, and its value, both trimmed.
struct ConfigSetting {
    std::string key;
    std::string value;
};

/// The setting of one line as ParseConfigText reads it, or nothing for a line it skips (empty,
/// without "=", or with "=" first).
std::optional<ConfigSetting> SplitConfigLine(std::string_view rawLine);

/// Sets the field that key (lower case) names from value, as ParseConfigText does: one of the six
/// settings or an opt-in key (ApplyOption). Returns false, changing nothing, for any other key.
bool ApplyConfigSetting(LauncherConfig& config, const std::string& key, const std::string& value);

/// The text without leading and trailing space, tab, carriage return and line feed.
std::string Trim(std::string_view text);

/// Unscrambles the bytes of "Ombrel.dat" in place.
void UnscrambleConfig(std::vector<std::uint8_t>& bytes);
/// The exact inverse of UnscrambleConfig: produces the bytes of "Ombrel.dat" from plain text.
void ScrambleConfig(std::vector<std::uint8_t>& bytes);

}  // namespace ombrelta
