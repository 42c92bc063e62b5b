#include "common/Path.h"

#include <windows.h>

namespace ombrelta {

std::wstring GetExecutablePath() {
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    // A result equal to the buffer size means the path was cut short; a cut path names the
    // wrong file, so report failure instead.
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::wstring(buffer, length);
}

}  // namespace ombrelta
