#include "app/UpdateRestart.h"

#include <windows.h>

#include "common/Path.h"
#include "game/ProcessControl.h"
#include "ui/Layout.h"

namespace ombrelta {

void WaitForReplacedLauncher(std::wstring_view commandLine) {
    const std::optional<std::uint32_t> processId = AfterUpdateProcessId(commandLine);
    if (!processId)
        return;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, *processId);
    if (process == nullptr)
        return;
    WaitForSingleObject(process, kAfterUpdateWaitMs);
    CloseHandle(process);
}

void StartUpdatedLauncher(std::wstring_view commandLine) {
    const std::wstring program = GetExecutablePath();
    wchar_t directory[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, directory);
    if (!program.empty() && length > 0 && length < MAX_PATH &&
        LaunchProcess(RestartCommandLine(program, commandLine, GetCurrentProcessId()),
                      std::wstring(directory, length)))
        return;
    MessageBoxW(nullptr, kUpdatedStartAgainText, kLauncherTitle, MB_OK | MB_ICONINFORMATION);
}

}  // namespace ombrelta
