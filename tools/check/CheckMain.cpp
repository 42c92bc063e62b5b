// ombrelta-check: runs the launcher's start-up work without a window and prints every report.
#include <cstdio>
#include <string>
#include <vector>

#include "common/Path.h"
#include "common/Text.h"
#include "service/LauncherService.h"
#include "tools/entry/ToolMain.h"

namespace ombrelta {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr wchar_t kLauncherProgram[] = L"OmbreltaLauncher.exe";

enum class Mode { Startup, BeforeStart, Both };

struct Options {
    std::wstring installDir = L".\\";
    Mode mode = Mode::Startup;
};

const char kUsage[] = "usage: ombrelta-check [--install-dir DIR] [--mode startup|before-start|both]\n";

bool ParseOptions(const std::vector<std::wstring>& arguments, Options& options) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& name = arguments[i];
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

int RunStartup(LauncherService& service) {
    std::string errorText;
    if (service.RunStartupChecks(errorText, PrintReport))
        return 0;
    PrintLine("error", errorText.empty() ? "Startup check failed." : errorText);
    return kExitFailed;
}

int RunBeforeStart(LauncherService& service) {
    if (service.VerifyBeforeStart(PrintReport))
        return 0;
    PrintLine("error", "File check failed before start.");
    return kExitFailed;
}

}  // namespace

int ToolMain(const std::vector<std::wstring>& arguments) {
    Options options;
    if (!ParseOptions(arguments, options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    try {
        LauncherService service(options.installDir);
        if (!service.LoadConfig()) {
            PrintLine("error", "Failed to load Ombrel.dat");
            return kExitUsage;
        }
        if (options.mode == Mode::BeforeStart)
            return RunBeforeStart(service);
        int result = RunStartup(service);
        if (options.mode == Mode::Both && result == 0)
            result = RunBeforeStart(service);
        // Whoever started the launcher that was moved aside must start the new one.
        if (service.PatchReplacedInUse(kLauncherProgram))
            PrintLine("updated", WideToUtf8(kLauncherProgram) + " was replaced while it ran.");
        return result;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ombrelta-check: %s\n", error.what());
        return kExitFailed;
    }
}

}  // namespace ombrelta
