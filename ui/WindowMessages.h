#pragma once

#include <windows.h>

namespace ombrelta {

// Application window messages of the launcher window. Other processes (a second launcher, the
// shell) rely on these numbers.

/// A worker's status report; lParam owns a ProgressMessage.
constexpr unsigned kMsgLauncherProgress = WM_APP + 10;
/// A worker's failure; lParam owns a heap std::wstring with the text to show.
constexpr unsigned kMsgLauncherFailed = WM_APP + 11;
/// Mouse events on the tray icon; lParam is the mouse message.
constexpr unsigned kMsgLauncherTray = WM_APP + 20;
/// The pre-start check passed; start the game.
constexpr unsigned kMsgLauncherStartGame = WM_APP + 30;
/// A second launcher asks this one to come to the front.
constexpr unsigned kMsgLauncherActivate = WM_APP + 40;
/// The start-up checks passed after a patch replaced the running program: close, so that the
/// entry starts the new one.
constexpr unsigned kMsgLauncherUpdated = WM_APP + 50;

/// The details line changed (`details`); lParam owns a heap std::wstring with the new line.
constexpr unsigned kMsgLauncherDetails = WM_APP + 60;
/// A patch is installed: the version line is read again.
constexpr unsigned kMsgLauncherPatchInstalled = WM_APP + 61;

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
