#include "ui/MainWindow.h"

#include <chrono>

#include "config/LocalVersion.h"
#include "ui/WindowMessages.h"

namespace ombrelta {
namespace {

// Long enough for a worker to notice its closed socket, short enough that the process still
// ends within a second of the window's destruction.
constexpr std::chrono::milliseconds kWorkerWait{700};

}  // namespace

MainWindow::MainWindow(std::wstring installDir, PaintMode paintMode)
    : service(std::make_shared<LauncherService>(std::move(installDir))),
      link(std::make_shared<WorkerLink>()),
      paintMode(paintMode) {}

MainWindow::~MainWindow() {
    // Only a window whose Create failed can still exist here. It goes without the WM_DESTROY
    // work (that would end game processes this launcher never started) and without reaching
    // this object again.
    if (hwnd != nullptr && IsWindow(hwnd)) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
    }
    splash.Close();
}

bool MainWindow::WaitForWorkers() {
    return link->WaitForWorkers(kWorkerWait);
}

bool MainWindow::Create(HINSTANCE moduleInstance, int showCommand) {
    instance = moduleInstance;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResourceId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClassName;
    RegisterClassW(&windowClass);

    WindowOrigin origin = CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                        kWindowWidth, kWindowHeight);
    // The window procedure has set hwnd by now; a creation that failed later must not leave it.
    hwnd = CreateWindowExW(0, kWindowClassName, kLauncherTitle, WS_POPUP, origin.x, origin.y, kWindowWidth,
                           kWindowHeight, nullptr, nullptr, instance, this);
    if (hwnd == nullptr)
        return false;
    taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");

    LoadSkinImages();
    if (!service->LoadConfig()) {
        MessageBoxW(hwnd, L"Failed to load Ombrel.dat", kLauncherTitle, MB_ICONERROR);
        return false;
    }
    config = service->Config();
    RefreshVersionLine();
    ObserveRuns();
    LoadButtons();
    DisableButton(Button(ButtonId::Start).state);
    ShowWindow(hwnd, showCommand);
    SetTimer(hwnd, kTimerGameWatch, kGameWatchPeriodMs, nullptr);
    SetTimer(hwnd, kTimerPulse, kPulsePeriodMs, nullptr);
    UpdateWindow(hwnd);
    StartStartupWorker();
    return true;
}

void MainWindow::LoadSkinImages() {
    const std::wstring& dir = service->InstallDir();
    background = LoadSkinImage(SkinImagePath(dir, kBackgroundImage));
    loadingBack = LoadSkinImage(SkinImagePath(dir, kLoadingBackImage));
    loadingFill = LoadSkinImage(SkinImagePath(dir, kLoadingFillImage));
    loadingComplete = LoadSkinImage(SkinImagePath(dir, kLoadingCompleteImage));
}

void MainWindow::LoadButtons() {
    const std::wstring& dir = service->InstallDir();
    for (std::size_t i = 0; i < kButtonCount; ++i) {
        const ButtonLayout& layout = kButtonLayouts[i];
        std::function<void()> action;
        switch (layout.id) {
            case ButtonId::Start:
                action = [this] { StartClicked(); };
                break;
            case ButtonId::Minimise:
                action = [this] { ShowWindow(hwnd, SW_MINIMIZE); };
                break;
            case ButtonId::Exit:
                action = [this] { DestroyWindow(hwnd); };
                break;
            // The links are read at the click, so they always follow the configuration copy.
            case ButtonId::WhatsApp:
                action = [this] { OpenUrl(config.whatsapp); };
                break;
            case ButtonId::Facebook:
                action = [this] { OpenUrl(config.facebook); };
                break;
            case ButtonId::Discord:
                action = [this] { OpenUrl(config.discord); };
                break;
        }
        buttons[i].Setup(SkinImagePath(dir, ButtonImageName(layout, 1)),
                         SkinImagePath(dir, ButtonImageName(layout, 2)),
                         SkinImagePath(dir, ButtonImageName(layout, 3)), layout.left, layout.top, layout.width,
                         layout.height, std::move(action));
    }
}

void MainWindow::StartClicked() {
    if (!state.checksReady) {
        MessageBoxW(hwnd, L"Please wait until launcher checks finish.", kLauncherTitle, MB_ICONWARNING);
        return;
    }
    ApplyStartPressed(state, Button(ButtonId::Start).state);
    StartPreStartWorker();
}

void MainWindow::OpenUrl(const std::wstring& url) {
    if (url.empty()) {
        MessageBoxW(hwnd, L"URL is empty.", kLauncherTitle, MB_ICONWARNING);
        return;
    }
    auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(hwnd, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32)
        MessageBoxW(hwnd, url.c_str(), L"Failed to open URL", MB_ICONERROR);
}

void MainWindow::RestoreWindow() {
    ShowWindow(hwnd, SW_SHOW);
    ShowWindow(hwnd, SW_RESTORE);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
}

void MainWindow::RefreshVersionLine() {
    state.versionText = FormatVersionText(ReadLocalVersion(service->InstallDir(), L"version.dat"));
}

void MainWindow::Invalidate() {
    InvalidateRect(hwnd, nullptr, FALSE);
}

void MainWindow::InvalidateIndicator() {
    // The full repaint stays the measure of what a frame of the whole window costs.
    if (paintMode == PaintMode::FullRepaint) {
        Invalidate();
        return;
    }
    const PixelRect& patch = kIndicatorPatch;
    RECT area{patch.x, patch.y, patch.x + patch.width, patch.y + patch.height};
    InvalidateRect(hwnd, &area, FALSE);
}

std::array<ButtonState*, kButtonCount> MainWindow::ButtonStates() {
    std::array<ButtonState*, kButtonCount> states{};
    for (std::size_t i = 0; i < kButtonCount; ++i)
        states[i] = &buttons[i].state;
    return states;
}

}  // namespace ombrelta
