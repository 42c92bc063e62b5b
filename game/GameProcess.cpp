#include "game/GameProcess.h"

#include "common/FileSystem.h"
#include "common/Path.h"
#include "game/GameCommand.h"
#include "game/GameWatch.h"

namespace ombrelta {

bool GameProcess::StartGame(const std::wstring& exePath, const std::wstring& arguments) {
    if (!PathExists(exePath))
        return false;
    processName = FileStem(exePath);
    std::wstring workingDirectory = WorkingDirectoryOf(exePath);
    // The system copies the directory into a fixed 260-character buffer; a longer one is refused
    // rather than cut, which would start the game in the wrong place.
    if (workingDirectory.size() > kMaxWorkingDirectoryLength)
        return false;
    if (!LaunchProcess(BuildCommandLine(exePath, arguments), workingDirectory))
        return false;
    running = true;
    launchTick = CurrentTickCount();
    return true;
}

bool GameProcess::IsGameRunning() const {
    bool found = false;
    ForEachProcess([&](const ProcessEntry& entry) {
        found = ProcessNameMatches(entry.exeName, processName);
        return !found;
    });
    return found;
}

void GameProcess::TerminateGameProcesses() const {
    ForEachProcess([&](const ProcessEntry& entry) {
        if (ProcessNameMatches(entry.exeName, processName))
            (void)TerminateProcessById(entry.id);
        return true;
    });
}

bool GameProcess::WatchGameEnded(std::uint32_t now) {
    if (!running || !GracePeriodOver(launchTick, now))
        return false;
    if (IsGameRunning())
        return false;
    running = false;
    return true;
}

std::wstring GetGameExePath(const std::wstring& installDir) {
    return JoinPath(installDir, L"Tarvesk.exe");
}

std::wstring GetGameExePath() {
    return GetGameExePath(GetExecutableDirectory());
}

}  // namespace ombrelta
