#include "ui/MainWindow.h"

#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "common/Path.h"
#include "ui/WindowMessages.h"

namespace ombrelta {
namespace {

// Counts one worker in for its whole life, also when its body throws.
class WorkerScope {
public:
    explicit WorkerScope(std::shared_ptr<WorkerLink> link) : link(std::move(link)) {}
    ~WorkerScope() { link->WorkerEnded(); }
    WorkerScope(const WorkerScope&) = delete;
    WorkerScope& operator=(const WorkerScope&) = delete;

private:
    std::shared_ptr<WorkerLink> link;
};

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
    WorkerScope scope(link);
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
    WorkerScope scope(link);
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

// The worker keeps its own references, so the service outlives a window closed under it.
template <typename Body>
void StartDetached(const std::shared_ptr<LauncherService>& service,
                   const std::shared_ptr<WorkerLink>& link,
                   Body body) {
    link->WorkerStarted();
    try {
        std::thread(body, service, link).detach();
    } catch (...) {
        link->WorkerEnded();
        throw;
    }
}

}  // namespace

void MainWindow::StartStartupWorker() {
    link->Attach(hwnd);
    StartDetached(service, link, RunStartupWorker);
}

void MainWindow::StartPreStartWorker() {
    try {
        StartDetached(service, link, RunPreStartWorker);
    } catch (const std::system_error&) {
        // An exception must not cross the window procedure; a check that cannot run has failed.
        auto text = std::make_unique<std::wstring>(kFileCheckFailedText);
        if (PostMessageW(hwnd, kMsgLauncherFailed, 0, reinterpret_cast<LPARAM>(text.get())))
            text.release();
    }
}

}  // namespace ombrelta
