#include "common/Path.h"

#include <windows.h>

namespace ombrelta {

std::wstring GetExecutableDirectory() {
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    // A result equal to the buffer size means the path was cut short; a cut path names the
    // wrong folder, so report failure instead.
    if (length == 0 || length >= MAX_PATH)
        return {};
    std::wstring path(buffer, length);
    std::size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos)
        return {};
    return path.substr(0, last + 1);
}

}  // namespace ombrelta
