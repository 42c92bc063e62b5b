#pragma once

#include <array>
#include <memory>
#include <string>

#include "config/LauncherConfig.h"
#include "service/LauncherService.h"
#include "service/RunLog.h"
#include "ui/FrameKey.h"
#include "ui/GdiPlus.h"
#include "ui/ImageButton.h"
#include "ui/IndicatorPatches.h"
#include "ui/Layout.h"
#include "ui/SplashWindow.h"
#include "ui/WindowState.h"
#include "ui/WorkerLink.h"

#include <shellapi.h>

namespace ombrelta {

/// How the window composes each frame. Both give the same picture; the full repaint (the whole
/// window, background scaled anew, on every pulse step too) exists only so that the cost of the
/// cached frame and the indicator-only pulse can be measured against it.
enum class PaintMode { CachedBackground, FullRepaint };

/// The launcher's one window: skinned, borderless, with six buttons, a status line and progress
/// bar fed by the worker threads, the tray icon while the game runs, and the splash picture.
/// Lives on the entry's stack; must be destroyed on the thread that created the window.
class MainWindow {
public:
    /// installDir: the launcher's own directory, ending with a separator.
    explicit MainWindow(std::wstring installDir, PaintMode paintMode = PaintMode::CachedBackground);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Creates and shows the window, loads the skin, "Ombrel.dat" and "version.dat" and starts
    /// the start-up checks. False when the window cannot be created (silently) or the
    /// configuration cannot be loaded (after an error box). A worker thread that cannot be
    /// started fails the checks like any other start-up failure: the window shows the failure
    /// state and the box, and Create returns true.
    bool Create(HINSTANCE instance, int showCommand);

    /// Waits a short, bounded time for the worker threads; true when none runs any more.
    bool WaitForWorkers();

    /// True when the window closed because a patch replaced the running program, which the
    /// entry must now start again.
    bool ClosedForUpdate() const { return closedForUpdate; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Creation and actions (MainWindow_win.cpp).
    void LoadSkinImages();
    void LoadButtons();
    void StartClicked();
    void OpenUrl(const std::wstring& url);
    void RestoreWindow();
    void RefreshVersionLine();
    void Invalidate();
    void InvalidateIndicator();
    ImageButton& Button(ButtonId id) { return buttons[static_cast<std::size_t>(id)]; }
    std::array<ButtonState*, kButtonCount> ButtonStates();

    // Messages (WindowProc_win.cpp).
    void OnDestroy();
    void OnTimer(WPARAM id);
    void OnMouseMove(LPARAM lParam);
    void OnMouseLeave();
    void OnCaptureChanged(HWND newOwner);
    void OnButtonDown(LPARAM lParam);
    void OnButtonUp(LPARAM lParam);
    void OnProgress(LPARAM lParam);
    void OnFailed(LPARAM lParam);
    void OnDetails(LPARAM lParam);
    void OnTray(LPARAM lParam);

    // Painting (WindowPaint_win.cpp).
    void OnPaint();
    bool PaintIndicatorPatch(HDC dc, const RECT& area, int width, int height);
    void ComposeFrame(HDC target, int width, int height, const RECT& area);
    void ComposeLayers(HDC target, int width, int height, bool withIndicator);
    bool RefreshStaticFrame(HDC reference, int width, int height);
    void DrawBackground(HDC target, Gdiplus::GpGraphics* graphics, int width, int height);
    void DrawIndicator(Gdiplus::GpGraphics* graphics) const;
    void DrawProgressBar(Gdiplus::GpGraphics* graphics) const;

    // Workers (Workers_win.cpp).
    void StartStartupWorker();
    void StartPreStartWorker();
    void ObserveRuns();
    void PostFailure(const std::wstring& text);

    // The game (GameLaunch_win.cpp).
    void OnStartGame();
    void ShowSplash();
    void OnGameStartFailed(GameStartFailure failure);
    bool AddTrayIcon();
    void OnTaskbarCreated();
    void RemoveTrayIcon();
    void WatchGame();
    void HoldGameForLog(const std::wstring& gamePath);
    void LogGameEnd();
    void ReleaseGameHandle();

    HWND hwnd = nullptr;
    HINSTANCE instance = nullptr;
    std::array<ImageButton, kButtonCount> buttons;
    NOTIFYICONDATAW trayIcon{};
    HICON trayIconImage = nullptr;
    LauncherConfig config;
    // Shared with the worker threads, which may outlive the window (a worker blocked in the
    // network while the user quits); they hold their own references.
    std::shared_ptr<LauncherService> service;
    std::shared_ptr<WorkerLink> link;
    // With `log`: shared with the workers, which write to it as well.
    std::shared_ptr<RunLog> runLog;
    // With `log`: the started game, for its exit code.
    HANDLE gameHandle = nullptr;
    SplashWindow splash;
    ImagePtr background;
    ImagePtr loadingBack;
    ImagePtr loadingFill;
    ImagePtr loadingComplete;
    std::unique_ptr<MemoryCanvas> frameBuffer;
    std::unique_ptr<MemoryCanvas> backgroundCache;
    // The whole frame except the pulsing indicator, and what it was drawn from.
    std::unique_ptr<MemoryCanvas> staticFrame;
    FrameKey staticFrameKey;
    // The indicator's patch in each colour drawn so far, on that frame.
    std::unique_ptr<MemoryCanvas> patchStrip;
    IndicatorPatches patchSlots;
    PaintMode paintMode;
    bool trayIconAdded = false;
    bool closedForUpdate = false;
    // The message the shell broadcasts when a new taskbar starts and every tray icon is gone.
    UINT taskbarCreatedMessage = 0;
    // A WM_MOUSELEAVE is asked for; the system forgets the request once it sent one.
    bool trackingLeave = false;
    WindowState state;
};

}  // namespace ombrelta
