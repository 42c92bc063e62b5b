#pragma once

namespace ombrelta {

// Application window messages of the launcher window, numbered from WM_APP (32768). Other
// processes (a second launcher, the shell) rely on these numbers.

/// A worker's status report; lParam owns a ProgressMessage.
constexpr unsigned kMsgLauncherProgress = 32778;
/// A worker's failure; lParam owns a heap std::wstring with the text to show.
constexpr unsigned kMsgLauncherFailed = 32779;
/// Mouse events on the tray icon; lParam is the mouse message.
constexpr unsigned kMsgLauncherTray = 32788;
/// The pre-start check passed; start the game.
constexpr unsigned kMsgLauncherStartGame = 32798;
/// A second launcher asks this one to come to the front.
constexpr unsigned kMsgLauncherActivate = 32808;
/// The start-up checks passed after a patch replaced the running program: close, so that the
/// entry starts the new one.
constexpr unsigned kMsgLauncherUpdated = 32818;

/// Timer 1 of the main window (1000 ms): watches the started game.
constexpr unsigned kTimerGameWatch = 1;
/// Timer 2 of the main window (30 ms): pulses the online indicator.
constexpr unsigned kTimerPulse = 2;
/// Timer 1 of the splash window: closes it.
constexpr unsigned kTimerSplashClose = 1;

constexpr unsigned kGameWatchPeriodMs = 1000;
constexpr unsigned kPulsePeriodMs = 30;
constexpr unsigned kSplashDurationMs = 3000;

}  // namespace ombrelta
