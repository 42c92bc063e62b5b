#pragma once

#include "config/LauncherOptions.h"

#include <cstdint>
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

/// The text without leading and trailing space, tab, carriage return and line feed.
std::string Trim(std::string_view text);

/// Unscrambles the bytes of "Ombrel.dat" in place.
void UnscrambleConfig(std::vector<std::uint8_t>& bytes);
/// The exact inverse of UnscrambleConfig: produces the bytes of "Ombrel.dat" from plain text.
void ScrambleConfig(std::vector<std::uint8_t>& bytes);

}  // namespace ombrelta
