#include "tools/entry/ToolErrors.h"

#include <cstdio>
#include <exception>
#include <string>

#include "tools/entry/ExitCode.h"

namespace ombrelta {
namespace {

void PrintError(std::string_view tool, const std::exception& error) {
    const std::string line = std::string(tool) + ": " + error.what() + "\n";
    std::fputs(line.c_str(), stderr);
}

}  // namespace

int RunPrintingErrors(std::string_view tool, const std::function<int()>& work, std::string_view usage) {
    try {
        return work();
    } catch (const UsageError& error) {
        PrintError(tool, error);
        std::fwrite(usage.data(), 1, usage.size(), stderr);
        return kExitBadInput;
    } catch (const InputError& error) {
        PrintError(tool, error);
        return kExitBadInput;
    } catch (const std::exception& error) {
        PrintError(tool, error);
        return kExitFailed;
    }
}

}  // namespace ombrelta
