#pragma once

#include <string>
#include <string_view>

// How the game's executable path turns into a command line, a working directory and the
// process name that later finds its processes.

namespace ombrelta {

/// The text after the last '\' or '/' (all of it without one), cut before its last '.' (kept
/// whole without one): "C:\Games\Tarvesk.exe" gives "Tarvesk". Never fails.
std::wstring FileStem(std::wstring_view path);

/// Whether a process's executable file name names the game: its part before the last '.'
/// equals processName, ignoring letter case ("TARVESK.EXE" and "tarvesk.bin" match "Tarvesk").
bool ProcessNameMatches(std::wstring_view exeName, std::wstring_view processName);

/// A double quote, the path, a double quote, one space, the arguments.
std::wstring BuildCommandLine(std::wstring_view exePath, std::wstring_view arguments);

/// The path up to, not including, its last '\' or '/'; the whole path when it has neither.
std::wstring WorkingDirectoryOf(std::wstring_view exePath);

}  // namespace ombrelta
