#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/PathText.h"

namespace ombrelta {

/// The relative path's text in UTF-8 with '/' separators, as the hash list carries it.
inline std::string GenericPathToUtf8(const std::filesystem::path& path) {
    std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

/// A path from UTF-8 text, such as a command-line argument.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace ombrelta
