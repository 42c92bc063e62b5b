#pragma once

#include <cstdint>
#include <string>

#include "game/ProcessControl.h"

namespace ombrelta {

/// Starts the game client, tells whether it still runs and ends it. Used on the user-interface
/// thread only; the started game is an independent process the launcher holds no handle to.
class GameProcess {
public:
    /// Starts exePath with the command line "\"exePath\" arguments" in exePath's directory;
    /// processName becomes exePath's file stem; on success marks the game running and takes
    /// launchTick. False (nothing else changed) when nothing exists at exePath;
    /// false (idle) when the directory is longer than kMaxWorkingDirectoryLength or the process
    /// cannot be created.
    bool StartGame(const std::wstring& exePath, const std::wstring& arguments);
    /// True when a process whose executable name matches processName (stem, ignoring case) exists;
    /// false also when the process list cannot be taken.
    bool IsGameRunning() const;
    /// Terminates every process whose executable name matches processName; processes that cannot
    /// be opened are left running, silently.
    void TerminateGameProcesses() const;
    /// One tick of the game watch at tick count now: true, and running cleared, when a started
    /// game's grace period is over and none of its processes is left; the caller then ends the
    /// launcher. False (nothing changed) otherwise.
    bool WatchGameEnded(std::uint32_t now);

    /// A game was started by this launcher and has not yet been seen to end.
    bool Running() const { return running; }
    void SetRunning(bool value) { running = value; }
    /// CurrentTickCount() taken right after the last successful start (0 before).
    std::uint32_t LaunchTick() const { return launchTick; }
    /// Stem of the last started executable; "Tarvesk" before any start.
    const std::wstring& ProcessName() const { return processName; }

private:
    std::wstring processName = L"Tarvesk";
    bool running = false;
    std::uint32_t launchTick = 0;
};

/// installDir joined with "Tarvesk.exe" (JoinPath: the name alone for an empty installDir).
std::wstring GetGameExePath(const std::wstring& installDir);
/// The game client beside the running program.
std::wstring GetGameExePath();

}  // namespace ombrelta
