#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/ButtonState.h"

namespace ombrelta {

inline constexpr wchar_t kInitialStatusText[] = L"Entering the World of Ombrelta...";
inline constexpr wchar_t kReadyText[] = L"Ready.";
inline constexpr wchar_t kServerOnlineText[] = L"Server Status : Online";
inline constexpr wchar_t kServerOfflineText[] = L"Server Status : Offline";
inline constexpr wchar_t kStartupFailedText[] = L"Startup check failed.";
inline constexpr wchar_t kFileCheckFailedText[] = L"File check failed before start.";
inline constexpr wchar_t kStartingGameText[] = L"Starting game...";
inline constexpr wchar_t kGameNotFoundText[] = L"Tarvesk.exe not found";
inline constexpr wchar_t kGameStartFailedText[] = L"Failed to start game.";

/// One status report of a worker, posted to the window with kMsgLauncherProgress.
struct ProgressMessage {
    std::wstring text;
    std::int32_t percent = 0;
};

/// What the launcher window shows, apart from the buttons and pictures.
struct WindowState {
    bool checksReady = false;
    float pulse = 0.0f;
    bool pulseRising = true;
    std::int32_t progress = 0;
    std::wstring statusText = kInitialStatusText;
    std::wstring versionText = L"Current Version : 1000";
    std::wstring serverStatusText = kServerOfflineText;
    /// The details line (`details`): the download's rate, time left and bytes; empty while
    /// nothing downloads.
    std::wstring detailsText;
};

/// "Current Version : " followed by the version in decimal.
std::wstring FormatVersionText(std::uint16_t version);

/// Takes a worker's report. Exactly "Ready." (nothing around it, same case) also marks the
/// server online, the checks finished and enables Start. True for "Ready.": the run may have
/// installed patches, so the version line must be read again.
bool ApplyProgress(WindowState& state, ButtonState& start, const ProgressMessage& message);

/// Takes a worker's failure: offline, "Startup check failed.", an empty bar, no details line and
/// Start disabled until the launcher is restarted.
void ApplyFailure(WindowState& state, ButtonState& start);

/// Takes the accepted Start press: the checks count as not finished and Start is disabled so
/// that a second press cannot run a second verification.
void ApplyStartPressed(WindowState& state, ButtonState& start);

/// Takes the passed pre-start check: Start enabled again, "Starting game..." with a full bar.
void ApplyGameStarting(WindowState& state, ButtonState& start);

/// Why the game did not start after a passed pre-start check.
enum class GameStartFailure { ExecutableMissing, ProcessNotCreated };

/// Takes a failed game start once its box is gone: the status line names the failure
/// ("Tarvesk.exe not found" or "Failed to start game.") and Start stays enabled for another try.
void ApplyGameStartFailed(WindowState& state, ButtonState& start, GameStartFailure failure);

/// True when the text contains "Online" (case-sensitive).
bool IsOnline(std::wstring_view serverStatusText);

/// One tick of the pulse timer. Online, pulse runs 0..100..0 in steps of 4 and the window
/// repaints (true); offline, the pulse rests at 0 rising and nothing repaints (false).
bool StepPulse(WindowState& state);

/// Colour of the server indicator as ARGB: online 0xFF00gg50 with gg = trunc(pulse + 120),
/// offline 0xFFDC2828.
std::uint32_t IndicatorColour(const WindowState& state);

/// The failure text of a start-up run: the service's UTF-8 reason as wide text, or
/// "Startup check failed." when there is none.
std::wstring StartupFailureText(const std::string& errorText);

}  // namespace ombrelta
