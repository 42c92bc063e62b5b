// Acts out a restart of the taskbar for the launcher's end-to-end test: the launcher's tray icon
// goes, as every icon goes with a taskbar that ends, and "TaskbarCreated" is broadcast, as a new
// taskbar does. Exit code 0 when both happened, 1 without a launcher window, 2 when the icon
// could not be removed.

#include <windows.h>

#include <shellapi.h>

int wmain() {
    HWND launcher = FindWindowW(L"OmbreltaLauncherWindow", nullptr);
    if (launcher == nullptr)
        return 1;
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = launcher;
    icon.uID = 1;
    if (!Shell_NotifyIconW(NIM_DELETE, &icon))
        return 2;
    SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    return 0;
}
