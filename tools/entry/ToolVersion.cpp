#include "tools/entry/ToolVersion.h"

#include <cstdio>

#include "OmbreltaVersion.h"
#include "tools/entry/ExitCode.h"

namespace ombrelta {

std::string ToolVersionLine(std::string_view tool) {
    return std::string(tool) + " " + OMBRELTA_VERSION_TEXT + "\n";
}

std::optional<int> AnswerHelpOrVersion(std::string_view tool,
                                       std::string_view usage,
                                       const std::vector<std::wstring>& arguments) {
    if (arguments.empty())
        return std::nullopt;
    if (arguments[0] == L"--help" || arguments[0] == L"-h") {
        std::fwrite(usage.data(), 1, usage.size(), stdout);
        return kExitDone;
    }
    if (arguments[0] != L"--version")
        return std::nullopt;
    const std::string line = ToolVersionLine(tool);
    std::fputs(line.c_str(), stdout);
    return kExitDone;
}

}  // namespace ombrelta
