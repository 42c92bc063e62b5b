#include "game/GameCommand.h"

#include <cwctype>

namespace ombrelta {

std::wstring FileStem(std::wstring_view path) {
    std::size_t slash = path.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind(L'.');
    return std::wstring(dot == std::wstring_view::npos ? name : name.substr(0, dot));
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i])
            continue;
        if (std::towupper(static_cast<std::wint_t>(a[i])) != std::towupper(static_cast<std::wint_t>(b[i])))
            return false;
    }
    return true;
}

bool ProcessNameMatches(std::wstring_view exeName, std::wstring_view processName) {
    std::size_t dot = exeName.rfind(L'.');
    std::wstring_view stem = dot == std::wstring_view::npos ? exeName : exeName.substr(0, dot);
    return EqualsIgnoringCase(stem, processName);
}

std::wstring BuildCommandLine(std::wstring_view exePath, std::wstring_view arguments) {
    std::wstring line;
    line.reserve(exePath.size() + arguments.size() + 3);
    line += L'"';
    line += exePath;
    line += L"\" ";
    line += arguments;
    return line;
}

std::wstring WorkingDirectoryOf(std::wstring_view exePath) {
    std::size_t slash = exePath.find_last_of(L"\\/");
    return std::wstring(slash == std::wstring_view::npos ? exePath : exePath.substr(0, slash));
}

}  // namespace ombrelta
