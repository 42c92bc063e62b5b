#include <cstdio>

#include "tools/content/PathText.h"
#include "tools/entry/ExitCode.h"
#include "tools/patch/ContentListing.h"
#include "tools/patch/OperatorCommands.h"

namespace ombrelta::patchkit {

int ListCommand(const CommandValues& values) {
    std::vector<std::string> problems;
    if (const std::optional<std::string> fault =
            OptionFault("list", values, {.required = {"--root"}, .optional = {}, .flags = {}}))
        problems.push_back(*fault);
    const std::vector<std::string> lines = problems.empty()
                                               ? ListContent(PathFromUtf8(values.at("--root")), problems)
                                               : std::vector<std::string>{};
    for (const std::string& problem : problems)
        std::fprintf(stderr, "ombrelta-patch: %s\n", problem.c_str());
    if (!problems.empty())
        return kExitBadInput;
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return kExitDone;
}

}  // namespace ombrelta::patchkit
