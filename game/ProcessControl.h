#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The operating system side of starting, finding and ending the game's processes. One
// implementation per host: ProcessControl_win.cpp (Toolhelp snapshots, CreateProcessW) and
// ProcessControl_posix.cpp (posix_spawn, /proc).

namespace ombrelta {

/// Longest working directory a start accepts, in characters: the directory buffer handed to the
/// system holds 260 characters including the terminator.
constexpr std::size_t kMaxWorkingDirectoryLength = 259;

/// One running process as the process list shows it.
struct ProcessEntry {
    std::uint32_t id = 0;
    /// Executable file name without directory, e.g. "Tarvesk.exe" on Windows, "sleep" on Linux.
    std::wstring exeName;
};

/// Starts a process from a command line ("\"path\" arguments", the program being the first,
/// possibly quoted, word) in the working directory, without waiting for it and without keeping
/// any handle to it. False when the process cannot be created or the directory does not fit
/// kMaxWorkingDirectoryLength.
bool LaunchProcess(const std::wstring& commandLine, const std::wstring& workingDirectory);

/// Calls visit for every running process until it returns false. False when the process list
/// cannot be taken (then visit is never called).
bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit);

/// Kills a process at once (exit code 0 where the system lets the caller choose). False when it
/// cannot be opened for termination or killed.
bool TerminateProcessById(std::uint32_t id);

/// Ordinal comparison ignoring case, as the system compares file names: equal length and every
/// character equal after upper-casing (Windows' own table; natively the C library's, which maps
/// at least A-Z).
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);

/// A millisecond counter that wraps at 2^32, like GetTickCount; only differences are meaningful.
std::uint32_t CurrentTickCount();

}  // namespace ombrelta
