// ombrelta-check: runs the launcher's start-up work without a window and prints every report.
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Path.h"
#include "common/Socket.h"
#include "common/Text.h"
#include "config/LocalVersion.h"
#include "service/LauncherService.h"
#include "service/RunLog.h"
#include "tools/check/LiveView.h"
#include "tools/check/Terminal.h"
#include "tools/entry/ExitCode.h"
#include "tools/entry/ToolErrors.h"
#include "tools/entry/ToolMain.h"
#include "tools/entry/ToolVersion.h"

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

const char kUsage[] =
    "usage: ombrelta-check [--install-dir DIR] [--mode startup|before-start|both] [--lines] [--log FILE]\n"
    "       ombrelta-check --help | --version\n";

Mode ParseMode(const std::wstring& value) {
    if (value == L"startup")
        return Mode::Startup;
    if (value == L"before-start")
        return Mode::BeforeStart;
    if (value == L"both")
        return Mode::Both;
    throw UsageError("--mode: expected startup, before-start or both, got " + WideToUtf8(value));
}

// Throws UsageError naming the option or argument it cannot take.
Options ParseOptions(const std::vector<std::wstring>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& name = arguments[i];
        if (name == L"--lines") {
            options.lines = true;
            continue;
        }
        if (name != L"--install-dir" && name != L"--mode" && name != L"--log")
            throw UsageError("unknown option " + WideToUtf8(name) +
                             " (expected --install-dir DIR, --mode startup|before-start|both, --log FILE or "
                             "--lines)");
        if (i + 1 >= arguments.size())
            throw UsageError(WideToUtf8(name) + ": missing value");
        const std::wstring& value = arguments[++i];
        if (name == L"--mode") {
            options.mode = ParseMode(value);
            continue;
        }
        if (name == L"--log") {
            if (value.empty())
                throw UsageError("--log: empty file name");
            options.logPath = value;
            continue;
        }
        if (value.empty())
            throw UsageError("--install-dir: empty folder name");
        options.installDir = IsSeparator(value.back()) ? value : value + L'\\';
    }
    return options;
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

// Standard output stays as it was; operators read the servers tried beside it.
void PrintConnection(std::size_t place, std::size_t count, const ServerAddress& server) {
    const std::string line = "ombrelta-check: connected to " + WideToUtf8(server.host) + ":" +
                             std::to_string(PortFromConfig(server.port)) + " (server " + std::to_string(place + 1) +
                             " of " + std::to_string(count) + ")\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
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
    // Standard output stays the reports'; which source served each file is told aside.
    service.SetSourceLog([&log](const std::string& line) {
        const std::string text = line + "\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
        if (log)
            log->Line(line);
    });
    if (!service.LoadConfig()) {
        out.line("error", "Failed to load Ombrel.dat");
        return kExitBadInput;
    }
    if (!service.Config().options.servers.empty())
        service.WatchConnections(PrintConnection);
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
    if (const std::optional<int> answered = AnswerHelpOrVersion("ombrelta-check", kUsage, arguments))
        return *answered;
    return RunPrintingErrors("ombrelta-check", [&] { return Run(ParseOptions(arguments)); }, kUsage);
}

}  // namespace ombrelta
