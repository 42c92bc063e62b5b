#include <cstdio>

#include "tools/content/PathText.h"
#include "tools/entry/ExitCode.h"
#include "tools/entry/ToolErrors.h"
#include "tools/patch/OperatorCommands.h"
#include "tools/patch/Publisher.h"

namespace ombrelta::patchkit {
namespace {

const CommandShape kPublishShape{
    .command = "publish",
    .required = {{"--root", "ROOT"}, {"--to", "NEW_TREE"}, {"--version", "N"}},
    .optional = {{"--sign-key", "KEY"}, {"--mirror", "DIR"}, {"--reload-pid", "FILE"}, {"--reload-command", "CMD"}},
    .flags = {"--delta", "--dry-run"},
};

std::optional<std::filesystem::path> PathOption(const CommandArguments& values, const std::string& name) {
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional(PathFromUtf8(it->second));
}

PublishRequest RequestFrom(const CommandArguments& values) {
    RequireShape(values, kPublishShape);
    const std::int64_t version = *NumberArgument(values, "--version", 1, 65535);
    if (values.contains("--reload-pid") && values.contains("--reload-command"))
        throw UsageError("publish takes --reload-pid or --reload-command, not both");
    const auto command = values.find("--reload-command");
    return {.root = PathFromUtf8(values.at("--root")),
            .newTree = PathFromUtf8(values.at("--to")),
            .version = static_cast<std::uint16_t>(version),
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
        return Refuse(outcome.problems);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return kExitDone;
}

}  // namespace

int PublishCommand(const CommandArguments& values) {
    const PublishRequest request = RequestFrom(values);
    if (values.contains("--dry-run"))
        return DryRun(request);
    const PublishOutcome outcome = Publish(request, [](PublishStep, const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    PrintWarnings(outcome);
    if (!outcome.problems.empty()) {
        Refuse(outcome.problems);
        std::fprintf(stderr, "ombrelta-patch: nothing published; %s is as it was\n",
                     values.at("--root").c_str());
        return kExitBadInput;
    }
    std::printf("published version %u\n", unsigned{request.version});
    return kExitDone;
}

}  // namespace ombrelta::patchkit
