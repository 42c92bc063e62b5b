#include <windows.h>

#include "common/FailureNote.h"
#include "common/Text.h"

namespace ombrelta {

std::string SystemErrorText() {
    const DWORD code = GetLastError();
    wchar_t buffer[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::wstring text(buffer, length);
    // The system's texts end with a line break.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return "system error " + std::to_string(code) + ": " + WideToUtf8(text);
}

}  // namespace ombrelta
