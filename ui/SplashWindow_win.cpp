#include "ui/SplashWindow.h"

#include "ui/Layout.h"
#include "ui/WindowMessages.h"

namespace ombrelta {
namespace {

constexpr DWORD kSplashExStyle = WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;

// Releases a screen context taken with GetDC(nullptr).
class ScreenDc {
public:
    ScreenDc() : dc(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc != nullptr)
            ReleaseDC(nullptr, dc);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc; }

private:
    HDC dc;
};

// A memory context compatible with a reference context, deleted on destruction.
class MemoryDc {
public:
    explicit MemoryDc(HDC reference) : dc(CreateCompatibleDC(reference)) {}
    ~MemoryDc() {
        if (dc != nullptr)
            DeleteDC(dc);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return dc; }

private:
    HDC dc;
};

ImagePtr LoadBitmapFile(const std::wstring& path) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    Gdiplus::GpStatus status = gdip::GdipCreateBitmapFromFile(path.c_str(), &bitmap);
    ImagePtr owned(bitmap);
    if (status != Gdiplus::Ok)
        return nullptr;
    return owned;
}

}  // namespace

SplashWindow::~SplashWindow() {
    Close();
}

void SplashWindow::Close() {
    CloseWindow();
    picture.reset();
}

void SplashWindow::CloseWindow() {
    if (window != nullptr && IsWindow(window)) {
        KillTimer(window, kTimerSplashClose);
        DestroyWindow(window);
    }
    window = nullptr;
}

bool SplashWindow::ShowSplash(const std::wstring& picturePath) {
    picture.reset();
    // Only one splash may be on screen: a new request replaces the one still shown.
    CloseWindow();
    picture = LoadBitmapFile(picturePath);
    if (!picture)
        return false;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kSplashClassName;
    RegisterClassW(&windowClass);

    UINT width = 0;
    UINT height = 0;
    gdip::GdipGetImageWidth(picture.get(), &width);
    gdip::GdipGetImageHeight(picture.get(), &height);
    if (!CreateSplashWindow(static_cast<int>(width), static_cast<int>(height)))
        return false;
    if (!PutPictureOnWindow(static_cast<int>(width), static_cast<int>(height)))
        return false;
    ShowForDuration();
    return true;
}

void SplashWindow::ShowForDuration() {
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    SetTimer(window, kTimerSplashClose, static_cast<UINT>(duration), nullptr);
}

bool SplashWindow::CreateSplashWindow(int width, int height) {
    WindowOrigin origin =
        CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), width, height);
    window = CreateWindowExW(kSplashExStyle, kSplashClassName, L"", WS_POPUP, origin.x, origin.y, width,
                             height, nullptr, nullptr, instance, this);
    return window != nullptr;
}

bool SplashWindow::PutPictureOnWindow(int width, int height) {
    ScreenDc screen;
    MemoryDc memory(screen.Get());
    if (memory.Get() == nullptr)
        return false;
    HBITMAP bitmap = nullptr;
    if (gdip::GdipCreateHBITMAPFromBitmap(reinterpret_cast<Gdiplus::GpBitmap*>(picture.get()), &bitmap, 0) !=
        Gdiplus::Ok)
        return false;
    HGDIOBJ previous = SelectObject(memory.Get(), bitmap);
    RECT rect{};
    GetWindowRect(window, &rect);
    POINT destination{rect.left, rect.top};
    SIZE size{width, height};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    BOOL updated = UpdateLayeredWindow(window, screen.Get(), &destination, &size, memory.Get(), &source, 0,
                                       &blend, ULW_ALPHA);
    SelectObject(memory.Get(), previous);
    DeleteObject(bitmap);
    return updated != FALSE;
}

LRESULT CALLBACK SplashWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<SplashWindow*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window = hwnd;
    }
    auto* self = reinterpret_cast<SplashWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_TIMER:
            if (wParam != kTimerSplashClose)
                break;
            self->CloseWindow();
            return 0;
        case WM_DESTROY:
            // A splash replaced by a newer one must not clear the newer window's handle.
            if (self->window == hwnd)
                self->window = nullptr;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace ombrelta
