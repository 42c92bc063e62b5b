#include "ui/MainWindow.h"

#include <memory>

#include "ui/WindowMessages.h"

namespace ombrelta {
namespace {

// Pointer positions are the low and high 16 bits of lParam, taken as unsigned.
std::int32_t PointerX(LPARAM lParam) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(lParam) & 0xFFFF);
}

std::int32_t PointerY(LPARAM lParam) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF);
}

}  // namespace

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd = hwnd;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE)
                DestroyWindow(hwnd);
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(lParam);
            return 0;
        case WM_LBUTTONDOWN:
            OnButtonDown(lParam);
            return 0;
        case WM_LBUTTONUP:
            OnButtonUp(lParam);
            return 0;
        case kMsgLauncherProgress:
            OnProgress(lParam);
            return 0;
        case kMsgLauncherFailed:
            OnFailed(lParam);
            return 0;
        case kMsgLauncherTray:
            OnTray(lParam);
            return 0;
        case kMsgLauncherStartGame:
            OnStartGame();
            return 0;
        case kMsgLauncherUpdated:
            // No game can have been started before the checks passed; nothing to end.
            closedForUpdate = true;
            DestroyWindow(hwnd);
            return 0;
        case kMsgLauncherActivate:
            RestoreWindow();
            FlashWindow(hwnd, TRUE);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void MainWindow::OnDestroy() {
    background.reset();
    loadingBack.reset();
    loadingFill.reset();
    loadingComplete.reset();
    backgroundCache.reset();
    staticFrame.reset();
    frameBuffer.reset();
    KillTimer(hwnd, kTimerGameWatch);
    KillTimer(hwnd, kTimerPulse);
    RemoveTrayIcon();
    // From here on no worker posts to this window; a blocked one fails on its closed socket.
    link->Detach();
    service->Api().Close();
    if (!closedForUpdate)
        service->Game().TerminateGameProcesses();
    PostQuitMessage(0);
}

void MainWindow::OnTimer(WPARAM id) {
    if (id == kTimerGameWatch) {
        WatchGame();
        return;
    }
    if (id == kTimerPulse && StepPulse(state))
        Invalidate();
}

void MainWindow::OnMouseMove(LPARAM lParam) {
    std::int32_t x = PointerX(lParam);
    std::int32_t y = PointerY(lParam);
    bool changed = false;
    // Every button follows the pointer, so no short-circuit here.
    for (ImageButton& button : buttons)
        changed = UpdateHover(button.state, x, y) || changed;
    if (changed)
        Invalidate();
}

void MainWindow::OnButtonDown(LPARAM lParam) {
    auto states = ButtonStates();
    if (PressButtons(states, PointerX(lParam), PointerY(lParam))) {
        Invalidate();
        return;
    }
    // The borderless window has no caption: a press on anything else drags it.
    ReleaseCapture();
    SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void MainWindow::OnButtonUp(LPARAM lParam) {
    auto states = ButtonStates();
    ReleaseResult result = ReleaseButtons(states, PointerX(lParam), PointerY(lParam));
    if (!result.released)
        return;
    if (result.clicked && buttons[result.index].action) {
        // A copy: the action may replace button state, and Exit destroys the window.
        std::function<void()> action = buttons[result.index].action;
        action();
    }
    Invalidate();
}

void MainWindow::OnProgress(LPARAM lParam) {
    std::unique_ptr<ProgressMessage> message(reinterpret_cast<ProgressMessage*>(lParam));
    if (message)
        ApplyProgress(state, Button(ButtonId::Start).state, *message);
    Invalidate();
}

void MainWindow::OnFailed(LPARAM lParam) {
    std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
    if (!text)
        return;
    ApplyFailure(state, Button(ButtonId::Start).state);
    Invalidate();
    MessageBoxW(hwnd, text->c_str(), kLauncherTitle, MB_ICONERROR);
}

void MainWindow::OnTray(LPARAM lParam) {
    auto mouseMessage = static_cast<UINT>(lParam);
    if (mouseMessage == WM_LBUTTONDBLCLK || mouseMessage == WM_RBUTTONUP)
        RestoreWindow();
}

}  // namespace ombrelta
