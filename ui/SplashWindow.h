#pragma once

#include <string>

#include "ui/GdiPlus.h"

namespace ombrelta {

/// A borderless picture with per-pixel transparency, centred on the screen above every window,
/// that never takes the focus, lets clicks through and closes itself on its timer.
class SplashWindow {
public:
    SplashWindow() = default;
    ~SplashWindow();
    SplashWindow(const SplashWindow&) = delete;
    SplashWindow& operator=(const SplashWindow&) = delete;

    void SetInstance(HINSTANCE value) { instance = value; }
    void SetDuration(int milliseconds) { duration = milliseconds; }

    /// Decodes the picture, puts it on a new layered window, shows that without activating it
    /// and starts the timer that closes it after the duration; an earlier splash still on screen
    /// is closed first. False (no window) when the picture cannot be decoded or the window cannot
    /// be created or updated.
    bool ShowSplash(const std::wstring& picturePath);

    /// Destroys the window if it still exists and releases the picture.
    void Close();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void CloseWindow();
    bool CreateSplashWindow(int width, int height);
    bool PutPictureOnWindow(int width, int height);
    void ShowForDuration();

    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    ImagePtr picture;
    int duration = 3000;
};

}  // namespace ombrelta
