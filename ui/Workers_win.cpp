#include "ui/MainWindow.h"

#include <exception>
#include <memory>

#include "common/Path.h"
#include "ui/WindowMessages.h"
#include "ui/WorkerStart.h"

namespace ombrelta {
namespace {

// Hands a heap payload to the window; the payload stays with the caller (and is freed) when
// the window is gone or the post fails.
template <typename T>
void PostPayload(WorkerLink& link, UINT message, std::unique_ptr<T> payload) {
    bool posted = link.Post([&](WindowHandle window) {
        auto target = static_cast<HWND>(window);
        return IsWindow(target) &&
               PostMessageW(target, message, 0, reinterpret_cast<LPARAM>(payload.get())) != FALSE;
    });
    if (posted)
        payload.release();
}

ProgressCallback WindowProgress(std::shared_ptr<WorkerLink> link) {
    return [link](const std::wstring& text, std::int32_t percent) {
        PostPayload(*link, kMsgLauncherProgress,
                    std::make_unique<ProgressMessage>(ProgressMessage{text, percent}));
    };
}

// The running program's own file name, as the patch would have named it.
std::wstring RunningProgramName() {
    const std::wstring path = GetExecutablePath();
    return path.substr(path.find_last_of(L"\\/") + 1);
}

void RunStartupWorker(const std::shared_ptr<LauncherService>& service,
                      const std::shared_ptr<WorkerLink>& link) {
    std::string errorText;
    bool passed = false;
    try {
        passed = service->RunStartupChecks(errorText, WindowProgress(link));
        if (passed && service->PatchReplacedInUse(RunningProgramName())) {
            link->Post([](WindowHandle window) {
                return PostMessageW(static_cast<HWND>(window), kMsgLauncherUpdated, 0, 0) != FALSE;
            });
        }
    } catch (const std::exception& error) {
        errorText = error.what();
    }
    if (!passed)
        PostPayload(*link, kMsgLauncherFailed, std::make_unique<std::wstring>(StartupFailureText(errorText)));
}

void RunPreStartWorker(const std::shared_ptr<LauncherService>& service,
                       const std::shared_ptr<WorkerLink>& link) {
    bool passed = false;
    try {
        passed = service->VerifyBeforeStart(WindowProgress(link));
    } catch (const std::exception&) {
        passed = false;
    }
    if (passed) {
        link->Post([](WindowHandle window) {
            return PostMessageW(static_cast<HWND>(window), kMsgLauncherStartGame, 0, 0) != FALSE;
        });
        return;
    }
    PostPayload(*link, kMsgLauncherFailed, std::make_unique<std::wstring>(kFileCheckFailedText));
}

}  // namespace

// The workers keep their own references, so the service outlives a window closed under them.
// An exception must not cross the window procedure: a check that cannot run has failed.
void MainWindow::StartStartupWorker() {
    link->Attach(hwnd);
    auto body = [service = service, link = link] { RunStartupWorker(service, link); };
    if (std::optional<std::string> reason = StartWorker(link, body))
        PostFailure(StartupFailureText(*reason));
}

void MainWindow::StartPreStartWorker() {
    auto body = [service = service, link = link] { RunPreStartWorker(service, link); };
    if (StartWorker(link, body))
        PostFailure(kFileCheckFailedText);
}

void MainWindow::PostFailure(const std::wstring& text) {
    auto payload = std::make_unique<std::wstring>(text);
    if (PostMessageW(hwnd, kMsgLauncherFailed, 0, reinterpret_cast<LPARAM>(payload.get())))
        payload.release();
}

}  // namespace ombrelta
