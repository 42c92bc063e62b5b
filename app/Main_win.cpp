#include <windows.h>

#include "app/UpdateRestart.h"
#include "common/Path.h"
#include "patch/MovedAside.h"
#include "ui/GdiPlus.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"
#include "ui/WindowMessages.h"

namespace ombrelta {
namespace {

#ifdef OMBRELTA_FULL_REPAINT
constexpr PaintMode kPaintMode = PaintMode::FullRepaint;
#else
constexpr PaintMode kPaintMode = PaintMode::CachedBackground;
#endif

// Owns a kernel handle (the single-instance mutex).
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle) : handle(handle) {}
    ~UniqueHandle() {
        if (handle != nullptr)
            CloseHandle(handle);
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    explicit operator bool() const { return handle != nullptr; }

private:
    HANDLE handle;
};

// GDI+ for the life of the window; every GDI+ object must be gone before this ends.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (started)
            Gdiplus::GdiplusShutdown(token);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool Started() const { return started; }

private:
    ULONG_PTR token = 0;
    bool started = false;
};

struct RunResult {
    int exitCode = 0;
    bool workersEnded = true;
    bool closedForUpdate = false;
};

int RunMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

RunResult RunLauncher(HINSTANCE instance, int showCommand) {
    WaitForReplacedLauncher(GetCommandLineW());
    UniqueHandle mutex(CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName));
    if (!mutex)
        return {};
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HWND running = FindWindowW(kWindowClassName, nullptr))
            PostMessageW(running, kMsgLauncherActivate, 0, 0);
        return {};
    }
    RemoveMovedAside(GetExecutableDirectory());
    GdiplusSession gdiplus;
    if (!gdiplus.Started())
        return {};
    RunResult result;
    MainWindow window(GetExecutableDirectory(), kPaintMode);
    if (window.Create(instance, showCommand))
        result.exitCode = RunMessageLoop();
    result.workersEnded = window.WaitForWorkers();
    result.closedForUpdate = window.ClosedForUpdate();
    return result;
}

}  // namespace
}  // namespace ombrelta

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    ombrelta::RunResult result = ombrelta::RunLauncher(instance, showCommand);
    if (result.closedForUpdate)
        ombrelta::StartUpdatedLauncher(GetCommandLineW());
    // A worker still stuck in the network keeps its own share of the service; end the process
    // without running global destructors under its feet.
    if (!result.workersEnded)
        ExitProcess(static_cast<UINT>(result.exitCode));
    return result.exitCode;
}
