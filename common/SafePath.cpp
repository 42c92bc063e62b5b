#include "common/SafePath.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "common/AsciiCase.h"
#include "common/Path.h"

namespace ombrelta {
namespace {

// Windows opens these devices whatever extension follows, so "con.txt" is the console.
template <typename Char>
bool IsDeviceName(std::basic_string_view<Char> element) {
    const std::basic_string_view<Char> stem = element.substr(0, element.find('.'));
    static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
    const auto isStem = [&](std::string_view device) { return EqualsIgnoringAsciiCase(stem, device); };
    if (std::any_of(kDevices.begin(), kDevices.end(), isStem))
        return true;
    if (stem.size() != 4 || stem[3] < '0' || stem[3] > '9')
        return false;
    const std::basic_string_view<Char> port = stem.substr(0, 3);
    return EqualsIgnoringAsciiCase(port, std::string_view("COM")) ||
           EqualsIgnoringAsciiCase(port, std::string_view("LPT"));
}

template <typename Char>
bool IsSafeElement(std::basic_string_view<Char> element) {
    if (element.empty() || (element.size() == 1 && element[0] == '.'))
        return true;
    // Windows drops trailing dots and spaces, so the name checked would not be the name used.
    if (element.back() == '.' || element.back() == ' ')
        return false;
    // ':' makes drive-relative names and alternate data streams.
    if (std::any_of(element.begin(), element.end(), [](Char c) {
            return c == ':' || static_cast<std::make_unsigned_t<Char>>(c) < 0x20;
        }))
        return false;
    return !IsDeviceName(element);
}

template <typename Char>
bool IsSafePath(std::basic_string_view<Char> path) {
    // A leading separator covers rooted, UNC ("\\server") and device ("\\?\", "\??\") paths; a
    // drive ("C:") fails the element rule on ':'.
    if (path.empty() || IsSeparator(path.front()))
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        if (!IsSafeElement(path.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

bool IsSafeEntryPath(std::string_view path) {
    return IsSafePath(path);
}

bool IsSafeEntryPath(std::wstring_view path) {
    return IsSafePath(path);
}

bool IsSafeFileName(std::string_view name) {
    return name != "." && name.find_first_of("/\\") == std::string_view::npos && IsSafePath(name);
}

void RequireSafeEntryPath(std::string_view path) {
    if (!IsSafeEntryPath(path))
        throw std::runtime_error("Unsafe file path: " + std::string(path));
}

}  // namespace ombrelta
