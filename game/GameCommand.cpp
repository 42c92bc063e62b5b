#include "game/GameCommand.h"

#include "game/ProcessControl.h"

namespace ombrelta {

std::wstring FileStem(std::wstring_view path) {
    std::size_t slash = path.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind(L'.');
    return std::wstring(dot == std::wstring_view::npos ? name : name.substr(0, dot));
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
