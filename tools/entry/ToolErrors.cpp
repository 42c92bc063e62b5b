#include "tools/entry/ToolErrors.h"

#include <cstdio>
#include <exception>
#include <string>

#include "tools/entry/ExitCode.h"

namespace ombrelta {

int RunPrintingErrors(std::string_view tool, const std::function<int()>& work) {
    try {
        return work();
    } catch (const std::exception& error) {
        const std::string line = std::string(tool) + ": " + error.what() + "\n";
        std::fputs(line.c_str(), stderr);
        return kExitFailed;
    }
}

}  // namespace ombrelta
