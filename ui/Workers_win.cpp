#include "ui/MainWindow.h"

#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "common/Path.h"
#include "common/Text.h"
#include "config/LocalVersion.h"
#include "ui/DetailsLine.h"
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

ProgressCallback WindowProgress(std::shared_ptr<WorkerLink> link, std::shared_ptr<RunLog> log) {
    return [link, log](const std::wstring& text, std::int32_t percent) {
        if (log)
            log->Report(text, percent);
        PostPayload(*link, kMsgLauncherProgress,
                    std::make_unique<ProgressMessage>(ProgressMessage{text, percent}));
    };
}

// What the window takes from the events: each installed patch, and with `details` the line,
// measured on the worker so that the window hears of it only when it changes.
ProgressSink WindowEvents(std::shared_ptr<WorkerLink> link, std::shared_ptr<RunLog> log, bool details) {
    std::shared_ptr<DetailsTracker> tracker = details ? std::make_shared<DetailsTracker>() : nullptr;
    return [link, log, tracker](const ProgressEvent& event) {
        if (log)
            log->Event(event);
        if (event.kind == ProgressEventKind::PatchInstalled) {
            link->Post([](WindowHandle window) {
                return PostMessageW(static_cast<HWND>(window), kMsgLauncherPatchInstalled, 0, 0) != FALSE;
            });
        }
        if (!tracker)
            return;
        if (std::optional<std::wstring> line = tracker->Take(event))
            PostPayload(*link, kMsgLauncherDetails, std::make_unique<std::wstring>(std::move(*line)));
    };
}

// The running program's own file name, as the patch would have named it.
std::wstring RunningProgramName() {
    const std::wstring path = GetExecutablePath();
    return path.substr(path.find_last_of(L"\\/") + 1);
}

void RunStartupWorker(const std::shared_ptr<LauncherService>& service,
                      const std::shared_ptr<WorkerLink>& link,
                      const std::shared_ptr<RunLog>& log) {
    std::string errorText;
    bool passed = false;
    try {
        passed = service->RunStartupChecks(errorText, WindowProgress(link, log));
        if (passed && service->PatchReplacedInUse(RunningProgramName())) {
            link->Post([](WindowHandle window) {
                return PostMessageW(static_cast<HWND>(window), kMsgLauncherUpdated, 0, 0) != FALSE;
            });
        }
    } catch (const std::exception& error) {
        errorText = error.what();
    }
    if (log)
        log->Ended(passed, WideToUtf8(StartupFailureText(errorText)));
    if (!passed)
        PostPayload(*link, kMsgLauncherFailed, std::make_unique<std::wstring>(StartupFailureText(errorText)));
}

void RunPreStartWorker(const std::shared_ptr<LauncherService>& service,
                       const std::shared_ptr<WorkerLink>& link,
                       const std::shared_ptr<RunLog>& log) {
    bool passed = false;
    try {
        passed = service->VerifyBeforeStart(WindowProgress(link, log));
    } catch (const std::exception&) {
        passed = false;
    }
    if (log)
        log->Ended(passed, WideToUtf8(kFileCheckFailedText));
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
    auto body = [service = service, link = link, log = runLog] { RunStartupWorker(service, link, log); };
    if (std::optional<std::string> reason = StartWorker(link, body))
        PostFailure(StartupFailureText(*reason));
}

void MainWindow::StartPreStartWorker() {
    auto body = [service = service, link = link, log = runLog] { RunPreStartWorker(service, link, log); };
    if (StartWorker(link, body))
        PostFailure(kFileCheckFailedText);
}

// Before any worker runs: both share the one sink.
void MainWindow::ObserveRuns() {
    if (config.options.log) {
        runLog = std::make_shared<RunLog>(JoinPath(service->InstallDir(), kLauncherLogName));
        runLog->Started("Ombrelta Launcher", ReadLocalVersion(service->InstallDir(), L"version.dat"), config);
        // Which mirror served each file, and why one failed.
        service->SetSourceLog([log = runLog](const std::string& line) { log->Line(line); });
    }
    service->Observe(WindowEvents(link, runLog, config.options.details));
}

void MainWindow::PostFailure(const std::wstring& text) {
    auto payload = std::make_unique<std::wstring>(text);
    if (PostMessageW(hwnd, kMsgLauncherFailed, 0, reinterpret_cast<LPARAM>(payload.get())))
        payload.release();
}

}  // namespace ombrelta
