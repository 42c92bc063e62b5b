#pragma once

#include <filesystem>
#include <string>

namespace ombrelta {

/// The path's text in UTF-8 with its native separators (the file's own bytes on POSIX).
inline std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace ombrelta
