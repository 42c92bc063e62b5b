// Stand-in for the game client "Tarvesk.exe", for demos and end-to-end tests of the launcher.
// On start it writes two UTF-8 lines to "Tarvesk.run.txt" beside its own executable (replacing
// any earlier file): its full command line and its working directory. It then shows a small
// window titled "Tarvesk" and ends with exit code 0 after the number of seconds written in
// "Tarvesk.seconds.txt" beside it (30 when the file is missing or holds no number), or as soon
// as its window is closed.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kDefaultSeconds = 30;
constexpr int kMaxSeconds = 24 * 60 * 60;
constexpr UINT_PTR kTickTimer = 1;

int secondsLeft = kDefaultSeconds;

std::wstring OwnDirectory() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring module(path, length < MAX_PATH ? length : 0);
    return module.substr(0, module.find_last_of(L"\\/") + 1);
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

void WriteRunReport(const std::wstring& directory) {
    wchar_t current[32768] = {};
    DWORD length = GetCurrentDirectoryW(32768, current);
    std::string report = ToUtf8(GetCommandLineW()) + "\n" + ToUtf8(std::wstring(current, length)) + "\n";
    FILE* file = _wfopen((directory + L"Tarvesk.run.txt").c_str(), L"wb");
    if (!file)
        return;
    std::fwrite(report.data(), 1, report.size(), file);
    std::fclose(file);
}

int ReadSeconds(const std::wstring& directory) {
    FILE* file = _wfopen((directory + L"Tarvesk.seconds.txt").c_str(), L"rb");
    if (!file)
        return kDefaultSeconds;
    int seconds = kDefaultSeconds;
    if (std::fscanf(file, "%d", &seconds) != 1)
        seconds = kDefaultSeconds;
    std::fclose(file);
    return seconds < 0 ? 0 : (seconds > kMaxSeconds ? kMaxSeconds : seconds);
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    HBRUSH background = CreateSolidBrush(RGB(24, 22, 32));
    FillRect(dc, &area, background);
    DeleteObject(background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(238, 232, 170));
    std::wstring text = L"Tarvesk (stand-in game client)\n\n" + std::wstring(GetCommandLineW()) +
                        L"\n\nEnds in " + std::to_wstring(secondsLeft) + L" s";
    InflateRect(&area, -12, -12);
    DrawTextW(dc, text.c_str(), -1, &area, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (--secondsLeft <= 0)
                DestroyWindow(window);
            else
                InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_DESTROY:
            KillTimer(window, kTickTimer);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    std::wstring directory = OwnDirectory();
    WriteRunReport(directory);
    secondsLeft = ReadSeconds(directory);
    if (secondsLeft == 0)
        return 0;

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"TarveskStandInWindow";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowExW(0, windowClass.lpszClassName, L"Tarvesk", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 480, 220, nullptr, nullptr, instance, nullptr);
    if (!window) {
        // Without a desktop the stand-in still lives its time, as a game would.
        Sleep(static_cast<DWORD>(secondsLeft) * 1000);
        return 0;
    }
    ShowWindow(window, showCommand);
    SetTimer(window, kTickTimer, 1000, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
