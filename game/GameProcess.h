#pragma once

#include <cstdint>
#include <string>

#include "game/ProcessControl.h"

namespace ombrelta {

/// Starts the game client, tells whether it still runs and ends it.
class GameProcess {
public:
    void SetOwner(WindowHandle window) { owner = window; }
    WindowHandle Owner() const { return owner; }

    /// Starts exePath with the command line "\"exePath\" arguments" in exePath's directory;
    /// hides the owner window, marks the game running and takes launchTick. False when the file
    /// is missing, the path is too long or the process cannot be created.
    bool StartGame(const std::wstring& exePath, const std::wstring& arguments);
    /// True when a process whose file stem matches processName (ignoring case) exists.
    bool IsGameRunning() const;
    /// Terminates every process whose file stem matches processName.
    void TerminateGameProcesses() const;

    bool Running() const { return running; }
    void SetRunning(bool value) { running = value; }
    std::uint32_t LaunchTick() const { return launchTick; }
    const std::wstring& ProcessName() const { return processName; }

private:
    WindowHandle owner = nullptr;
    std::wstring processName = L"Tarvesk";
    bool running = false;
    std::uint32_t launchTick = 0;
};

/// installDir joined with "Tarvesk.exe".
std::wstring GetGameExePath(const std::wstring& installDir);

}  // namespace ombrelta
