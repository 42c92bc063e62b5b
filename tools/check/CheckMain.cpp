// ombrelta-check: runs the launcher's start-up work without a window and prints every report.
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Path.h"
#include "common/Text.h"
#include "config/LocalVersion.h"
#include "service/LauncherService.h"
#include "service/RunLog.h"
#include "tools/check/LiveView.h"
#include "tools/check/Terminal.h"
#include "tools/entry/ExitCode.h"
#include "tools/entry/ToolErrors.h"
#include "tools/entry/ToolMain.h"

namespace ombrelta {
namespace {

constexpr wchar_t kLauncherProgram[] = L"OmbreltaLauncher.exe";

enum class Mode { Startup, BeforeStart, Both };

struct Options {
    std::wstring installDir = L".\\";
    Mode mode = Mode::Startup;
    /// One line per report even on a terminal.
    bool lines = false;
    /// Where the run is logged as the launcher logs it; empty for no log.
    std::wstring logPath;
};

const char kUsage[] = "usage: ombrelta-check [--install-dir DIR] [--mode startup|before-start|both] [--lines] [--log FILE]\n";

bool ParseOptions(const std::vector<std::wstring>& arguments, Options& options) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& name = arguments[i];
        if (name == L"--lines") {
            options.lines = true;
            continue;
        }
        if (i + 1 >= arguments.size())
            return false;
        const std::wstring& value = arguments[++i];
        if (name == L"--install-dir" && !value.empty()) {
            options.installDir = IsSeparator(value.back()) ? value : value + L'\\';
        } else if (name == L"--mode" && value == L"startup") {
            options.mode = Mode::Startup;
        } else if (name == L"--mode" && value == L"before-start") {
            options.mode = Mode::BeforeStart;
        } else if (name == L"--mode" && value == L"both") {
            options.mode = Mode::Both;
        } else if (name == L"--log" && !value.empty()) {
            options.logPath = value;
        } else {
            return false;
        }
    }
    return true;
}

void PrintLine(const std::string& first, const std::string& text) {
    std::string line = first + "\t" + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void PrintReport(const std::wstring& message, std::int32_t percent) {
    PrintLine(std::to_string(percent), WideToUtf8(message));
}

// Where the reports and the closing lines go: one machine line each, or the live view.
struct Output {
    ProgressCallback report = PrintReport;
    std::function<void(const std::string& first, const std::string& text)> line = PrintLine;
};

Output LiveOutput(LiveView& view) {
    return {.report = [&view](const std::wstring& message, std::int32_t percent) { view.Report(message, percent); },
            .line = [&view](const std::string& first, const std::string& text) {
                view.PrintLine(first + ": " + text);
            }};
}

LiveTerminal StandardOutputTerminal() {
    return {.columns = StandardOutputColumns,
            .write = WriteStandardOutput,
            .clock = [] { return std::chrono::steady_clock::now(); }};
}

int RunStartup(LauncherService& service, const Output& out) {
    std::string errorText;
    if (service.RunStartupChecks(errorText, out.report))
        return kExitDone;
    out.line("error", errorText.empty() ? "Startup check failed." : errorText);
    return kExitFailed;
}

int RunBeforeStart(LauncherService& service, const Output& out) {
    if (service.VerifyBeforeStart(out.report))
        return kExitDone;
    out.line("error", "File check failed before start.");
    return kExitFailed;
}

int RunChecks(LauncherService& service, Mode mode, const Output& out) {
    if (mode == Mode::BeforeStart)
        return RunBeforeStart(service, out);
    int result = RunStartup(service, out);
    if (mode == Mode::Both && result == kExitDone)
        result = RunBeforeStart(service, out);
    // Whoever started the launcher that was moved aside must start the new one.
    if (service.PatchReplacedInUse(kLauncherProgram))
        out.line("updated", WideToUtf8(kLauncherProgram) + " was replaced while it ran.");
    return result;
}

// The log sees every report and closing line as printed, and every event.
Output Logged(Output out, RunLog& log) {
    return {.report =
                [report = std::move(out.report), &log](const std::wstring& message, std::int32_t percent) {
                    log.Report(message, percent);
                    report(message, percent);
                },
            .line = [line = std::move(out.line), &log](const std::string& first, const std::string& text) {
                log.Line(first + ": " + text);
                line(first, text);
            }};
}

int Run(const Options& options) {
    LauncherService service(options.installDir);
    std::optional<LiveView> view;
    Output out;
    if (!options.lines && StandardOutputIsTerminal()) {
        view.emplace(service.Api().Traffic(), StandardOutputTerminal());
        out = LiveOutput(*view);
        EndLineOnInterrupt();
    }
    std::optional<RunLog> log;
    if (!options.logPath.empty()) {
        log.emplace(options.logPath);
        out = Logged(std::move(out), *log);
    }
    if (!service.LoadConfig()) {
        out.line("error", "Failed to load Ombrel.dat");
        return kExitBadInput;
    }
    if (log)
        log->Started("ombrelta-check", ReadLocalVersion(options.installDir, L"version.dat"), service.Config());
    if (view || log) {
        service.Observe([&](const ProgressEvent& event) {
            if (view)
                view->Event(event);
            if (log)
                log->Event(event);
        });
    }
    const int result = RunChecks(service, options.mode, out);
    if (log)
        log->Line(result == kExitDone ? "run passed" : "run failed");
    if (view)
        view->Finish();
    return result;
}

}  // namespace

int ToolMain(const std::vector<std::wstring>& arguments) {
    Options options;
    if (!ParseOptions(arguments, options)) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    return RunPrintingErrors("ombrelta-check", [&] { return Run(options); });
}

}  // namespace ombrelta
