#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A patch may replace the running launcher. The old process then starts the new program with
// its own command line plus "--after-update PID" and ends; the new one waits for PID to end
// before it takes the single-instance mutex. Command lines are as GetCommandLineW gives them:
// the program first, quoted or not, then the arguments.

namespace ombrelta {

/// The argument that names the process a restarted launcher waits for.
inline constexpr wchar_t kAfterUpdateArgument[] = L"--after-update";
/// How long a restarted launcher waits for the old process to end, in milliseconds.
inline constexpr std::uint32_t kAfterUpdateWaitMs = 10000;
/// Shown when the new program cannot be started.
inline constexpr wchar_t kUpdatedStartAgainText[] = L"The launcher was updated. Please start it again.";

/// The process id after the last "--after-update" that is followed by a decimal number from 1
/// to 4294967295; nothing when there is none.
std::optional<std::uint32_t> AfterUpdateProcessId(std::wstring_view commandLine);

/// programPath in double quotes, the arguments of commandLine without an earlier
/// "--after-update PID", then "--after-update" and processId.
std::wstring RestartCommandLine(std::wstring_view programPath,
                                std::wstring_view commandLine,
                                std::uint32_t processId);

/// Windows only: when the command line names a process with "--after-update", waits until it
/// has ended, at most kAfterUpdateWaitMs; returns at once when it cannot be opened (gone).
void WaitForReplacedLauncher(std::wstring_view commandLine);

/// Windows only: starts the running program's file again in the current directory with
/// RestartCommandLine for this process; shows kUpdatedStartAgainText when that fails.
void StartUpdatedLauncher(std::wstring_view commandLine);

}  // namespace ombrelta
