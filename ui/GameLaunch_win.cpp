#include "ui/MainWindow.h"

#include <cwchar>

#include "common/Text.h"
#include "game/GameCommand.h"
#include "game/ProcessControl.h"
#include "ui/WindowMessages.h"

namespace ombrelta {
namespace {

// The shell reads the structure by its size; this is the full Vista-and-later layout on i686.
constexpr DWORD kTrayIconDataSize = 956;
static_assert(sizeof(void*) != 4 || sizeof(NOTIFYICONDATAW) == kTrayIconDataSize);
constexpr UINT kTrayIconId = 1;
constexpr wchar_t kGameArguments[] = L"mossfield";

}  // namespace

void MainWindow::OnStartGame() {
    ApplyGameStarting(state, Button(ButtonId::Start).state);
    RefreshVersionLine();
    Invalidate();
    std::wstring gamePath = GetGameExePath(service->InstallDir());
    if (GetFileAttributesW(gamePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        MessageBoxW(hwnd, gamePath.c_str(), kGameNotFoundText, MB_ICONERROR);
        OnGameStartFailed(GameStartFailure::ExecutableMissing);
        return;
    }
    ShowSplash();
    if (!service->Game().StartGame(gamePath, kGameArguments)) {
        if (runLog)
            runLog->Line("game start failed: " + WideToUtf8(gamePath));
        MessageBoxW(hwnd, kGameStartFailedText, kLauncherTitle, MB_ICONERROR);
        OnGameStartFailed(GameStartFailure::ProcessNotCreated);
        return;
    }
    HoldGameForLog(gamePath);
    ShowWindow(hwnd, SW_HIDE);
    // Without a tray icon the hidden window could not be brought back while the game runs.
    if (!AddTrayIcon())
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
}

void MainWindow::OnGameStartFailed(GameStartFailure failure) {
    ApplyGameStartFailed(state, Button(ButtonId::Start).state, failure);
    Invalidate();
}

void MainWindow::ShowSplash() {
    splash.SetInstance(instance);
    splash.SetDuration(kSplashDurationMs);
    splash.ShowSplash(SkinImagePath(service->InstallDir(), kSplashImage));
}

bool MainWindow::AddTrayIcon() {
    if (trayIconAdded)
        return true;
    trayIcon = NOTIFYICONDATAW{};
    trayIcon.cbSize = kTrayIconDataSize;
    trayIcon.hWnd = hwnd;
    trayIcon.uID = kTrayIconId;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon.uCallbackMessage = kMsgLauncherTray;
    if (trayIconImage == nullptr)
        trayIconImage = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(kIconResourceId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    trayIcon.hIcon = trayIconImage;
    wcsncpy(trayIcon.szTip, kLauncherTitle, std::size(trayIcon.szTip) - 1);
    trayIconAdded = Shell_NotifyIconW(NIM_ADD, &trayIcon) != FALSE;
    return trayIconAdded;
}

void MainWindow::OnTaskbarCreated() {
    if (!trayIconAdded)
        return;
    // The new taskbar starts empty. The delete covers a broadcast whose taskbar still shows the
    // icon, so that the add cannot fail on a duplicate.
    Shell_NotifyIconW(NIM_DELETE, &trayIcon);
    if (Shell_NotifyIconW(NIM_ADD, &trayIcon) != FALSE)
        return;
    trayIconAdded = false;
    if (!IsWindowVisible(hwnd))
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
}

void MainWindow::RemoveTrayIcon() {
    if (trayIconAdded) {
        Shell_NotifyIconW(NIM_DELETE, &trayIcon);
        trayIconAdded = false;
    }
    if (trayIconImage != nullptr) {
        DestroyIcon(trayIconImage);
        trayIconImage = nullptr;
    }
}

void MainWindow::WatchGame() {
    GameProcess& game = service->Game();
    if (!game.WatchGameEnded(CurrentTickCount()))
        return;
    LogGameEnd();
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

// Only the log wants the game's exit code, so only with `log` does the launcher hold a handle on
// the game: the first process of its name, found right after the start.
void MainWindow::HoldGameForLog(const std::wstring& gamePath) {
    if (!runLog)
        return;
    runLog->Line("game started: \"" + WideToUtf8(gamePath) + "\" " + WideToUtf8(kGameArguments));
    ReleaseGameHandle();
    const std::wstring& name = service->Game().ProcessName();
    ForEachProcess([&](const ProcessEntry& entry) {
        if (!ProcessNameMatches(entry.exeName, name))
            return true;
        gameHandle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.id);
        return false;
    });
}

void MainWindow::LogGameEnd() {
    if (!runLog)
        return;
    DWORD code = 0;
    if (gameHandle != nullptr && GetExitCodeProcess(gameHandle, &code) && code != STILL_ACTIVE)
        runLog->Line("game ended with exit code " + std::to_string(code));
    else
        runLog->Line("game ended (exit code unknown)");
    ReleaseGameHandle();
}

void MainWindow::ReleaseGameHandle() {
    if (gameHandle != nullptr)
        CloseHandle(gameHandle);
    gameHandle = nullptr;
}

}  // namespace ombrelta
