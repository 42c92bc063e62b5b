#include <cstdio>

#include "common/Decimal.h"
#include "tools/content/PathText.h"
#include "tools/entry/ExitCode.h"
#include "tools/patch/OperatorCommands.h"
#include "tools/patch/Publisher.h"

namespace ombrelta::patchkit {
namespace {

const CommandShape kPublishShape{
    .required = {"--root", "--to", "--version"},
    .optional = {"--sign-key", "--mirror", "--reload-pid", "--reload-command"},
    .flags = {"--delta", "--dry-run"},
};

int RefuseWith(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems)
        std::fprintf(stderr, "ombrelta-patch: %s\n", problem.c_str());
    return kExitBadInput;
}

std::optional<std::filesystem::path> PathOption(const CommandValues& values, const std::string& name) {
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional(PathFromUtf8(it->second));
}

std::optional<std::string> RequestFault(const CommandValues& values) {
    if (std::optional<std::string> fault = OptionFault("publish", values, kPublishShape))
        return fault;
    const std::optional<std::int64_t> version = ParseSignedDecimal<std::int64_t>(values.at("--version"));
    if (!version || *version < 1 || *version > 65535)
        return "publish: --version needs a number from 1 to 65535, not \"" + values.at("--version") + "\"";
    if (values.contains("--reload-pid") && values.contains("--reload-command"))
        return "publish takes --reload-pid or --reload-command, not both";
    return std::nullopt;
}

PublishRequest RequestFrom(const CommandValues& values) {
    const auto command = values.find("--reload-command");
    return {.root = PathFromUtf8(values.at("--root")),
            .newTree = PathFromUtf8(values.at("--to")),
            .version = static_cast<std::uint16_t>(*ParseSignedDecimal<std::int64_t>(values.at("--version"))),
            .delta = values.contains("--delta"),
            .signKey = PathOption(values, "--sign-key"),
            .mirror = PathOption(values, "--mirror"),
            .reloadPidFile = PathOption(values, "--reload-pid"),
            .reloadCommand = command == values.end() ? std::nullopt : std::optional(command->second)};
}

void PrintWarnings(const PublishOutcome& outcome) {
    for (const std::string& warning : outcome.warnings)
        std::fprintf(stderr, "ombrelta-patch: warning: %s\n", warning.c_str());
}

int DryRun(const PublishRequest& request) {
    PublishOutcome outcome;
    const std::vector<std::string> lines = DescribePublish(request, outcome);
    PrintWarnings(outcome);
    if (!outcome.problems.empty())
        return RefuseWith(outcome.problems);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return kExitDone;
}

}  // namespace

int PublishCommand(const CommandValues& values) {
    if (const std::optional<std::string> fault = RequestFault(values))
        return RefuseWith({*fault});
    const PublishRequest request = RequestFrom(values);
    if (values.contains("--dry-run"))
        return DryRun(request);
    const PublishOutcome outcome = Publish(request, [](PublishStep, const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    PrintWarnings(outcome);
    if (!outcome.problems.empty()) {
        RefuseWith(outcome.problems);
        std::fprintf(stderr, "ombrelta-patch: nothing published; %s is as it was\n",
                     values.at("--root").c_str());
        return kExitBadInput;
    }
    std::printf("published version %u\n", unsigned{request.version});
    return kExitDone;
}

}  // namespace ombrelta::patchkit
