#include "tools/check/Terminal.h"

#include <windows.h>

namespace ombrelta {
namespace {

HANDLE StandardOutput() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

// Runs on a thread of its own; returning FALSE lets the default handler end the process.
BOOL WINAPI EndLineAndStop(DWORD) {
    DWORD written = 0;
    WriteFile(StandardOutput(), "\n", 1, &written, nullptr);
    return FALSE;
}

}  // namespace

bool StandardOutputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(StandardOutput(), &mode) != 0;
}

std::size_t StandardOutputColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(StandardOutput(), &info))
        return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : 80;
}

void WriteStandardOutput(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD part = bytes.size() > 65536 ? 65536 : static_cast<DWORD>(bytes.size());
        if (!WriteFile(StandardOutput(), bytes.data(), part, &written, nullptr) || written == 0)
            return;
        bytes.remove_prefix(written);
    }
}

void EndLineOnInterrupt() {
    SetConsoleCtrlHandler(EndLineAndStop, TRUE);
}

}  // namespace ombrelta
