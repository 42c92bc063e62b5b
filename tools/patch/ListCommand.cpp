#include <cstdio>

#include "tools/content/PathText.h"
#include "tools/entry/ExitCode.h"
#include "tools/patch/ContentListing.h"
#include "tools/patch/OperatorCommands.h"

namespace ombrelta::patchkit {

int ListCommand(const CommandArguments& values) {
    RequireShape(values, {.command = "list", .required = {{"--root", "ROOT"}}});
    std::vector<std::string> problems;
    const std::vector<std::string> lines = ListContent(PathFromUtf8(values.at("--root")), problems);
    if (!problems.empty())
        return Refuse(problems);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return kExitDone;
}

}  // namespace ombrelta::patchkit
