#include "verify/SafeEntryPath.h"

#include <stdexcept>
#include <string>

namespace ombrelta {
namespace {

bool IsPathSeparator(char c) {
    return c == '/' || c == '\\';
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Windows drops trailing dots and spaces from path elements, so "..." or ".. " may reach the
// parent just like ".."; an element made only of dots and spaces with two dots or more is refused.
bool ClimbsUp(std::string_view element) {
    std::size_t dots = 0;
    for (char c : element) {
        if (c == '.')
            ++dots;
        else if (c != ' ')
            return false;
    }
    return dots >= 2;
}

}  // namespace

bool IsSafeEntryPath(std::string_view path) {
    if (path.empty() || IsPathSeparator(path.front()))
        return false;
    if (path.find('\0') != std::string_view::npos)
        return false;
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':')
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsPathSeparator(path[end]))
            ++end;
        if (ClimbsUp(path.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

void RequireSafeEntryPath(std::string_view path) {
    if (!IsSafeEntryPath(path))
        throw std::runtime_error("Unsafe file path: " + std::string(path));
}

}  // namespace ombrelta
