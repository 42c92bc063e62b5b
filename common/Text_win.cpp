#include "common/Text.h"

#include <windows.h>

#include <climits>

namespace ombrelta {

// No MB_ERR_INVALID_CHARS: invalid bytes and unpaired surrogates turn into U+FFFD instead of
// failing the whole conversion.

std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    int size = static_cast<int>(text.size());
    int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (count <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), count) != count)
        return {};
    return wide;
}

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    int size = static_cast<int>(text.size());
    int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (count <= 0)
        return {};
    std::string narrow(static_cast<std::size_t>(count), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), count, nullptr, nullptr) != count)
        return {};
    return narrow;
}

}  // namespace ombrelta
