#include "ui/MainWindow.h"

#include <memory>
#include <utility>

#include "ui/WindowMessages.h"

namespace ombrelta {
namespace {

PointerPosition Pointer(LPARAM lParam) {
    return PointerFromMessage(static_cast<std::uint32_t>(lParam));
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
    if (message == taskbarCreatedMessage && message != 0) {
        OnTaskbarCreated();
        return 0;
    }
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
        case WM_MOUSELEAVE:
            OnMouseLeave();
            return 0;
        case WM_CAPTURECHANGED:
            OnCaptureChanged(reinterpret_cast<HWND>(lParam));
            return 0;
        case kMsgLauncherProgress:
            OnProgress(lParam);
            return 0;
        case kMsgLauncherFailed:
            OnFailed(lParam);
            return 0;
        case kMsgLauncherDetails:
            OnDetails(lParam);
            return 0;
        case kMsgLauncherPatchInstalled:
            RefreshVersionLine();
            Invalidate();
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
    patchStrip.reset();
    frameBuffer.reset();
    KillTimer(hwnd, kTimerGameWatch);
    KillTimer(hwnd, kTimerPulse);
    RemoveTrayIcon();
    ReleaseGameHandle();
    // From here on no worker posts to this window; a blocked one fails on its closed socket.
    link->Detach();
    service->Close();
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
        InvalidateIndicator();
}

void MainWindow::OnMouseMove(LPARAM lParam) {
    if (!trackingLeave) {
        TRACKMOUSEEVENT track{
            .cbSize = sizeof(TRACKMOUSEEVENT), .dwFlags = TME_LEAVE, .hwndTrack = hwnd, .dwHoverTime = 0};
        trackingLeave = TrackMouseEvent(&track) != FALSE;
    }
    PointerPosition pointer = Pointer(lParam);
    bool changed = false;
    // Every button follows the pointer, so no short-circuit here.
    for (ImageButton& button : buttons)
        changed = UpdateHover(button.state, pointer.x, pointer.y) || changed;
    if (changed)
        Invalidate();
}

void MainWindow::OnMouseLeave() {
    trackingLeave = false;
    auto states = ButtonStates();
    if (ClearHovers(states))
        Invalidate();
}

void MainWindow::OnCaptureChanged(HWND newOwner) {
    // A capture may end the leave tracking without a WM_MOUSELEAVE; the next move asks again.
    trackingLeave = false;
    // Whoever took the mouse gets the release: a press held here can no longer end in a click.
    auto states = ButtonStates();
    if (newOwner != hwnd && ClearPresses(states))
        Invalidate();
}

void MainWindow::OnButtonDown(LPARAM lParam) {
    auto states = ButtonStates();
    PointerPosition pointer = Pointer(lParam);
    if (PressButtons(states, pointer.x, pointer.y)) {
        // Held until the release, wherever it happens, so that no press outlives its button.
        SetCapture(hwnd);
        Invalidate();
        return;
    }
    // The borderless window has no caption: a press on anything else drags it.
    ReleaseCapture();
    SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void MainWindow::OnButtonUp(LPARAM lParam) {
    auto states = ButtonStates();
    PointerPosition pointer = Pointer(lParam);
    ReleaseResult result = ReleaseButtons(states, pointer.x, pointer.y);
    // After the release is taken, so that the capture's end does not cancel this very press.
    if (GetCapture() == hwnd)
        ReleaseCapture();
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
    if (message && ApplyProgress(state, Button(ButtonId::Start).state, *message))
        RefreshVersionLine();
    Invalidate();
}

void MainWindow::OnDetails(LPARAM lParam) {
    std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
    if (!text)
        return;
    state.detailsText = std::move(*text);
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
