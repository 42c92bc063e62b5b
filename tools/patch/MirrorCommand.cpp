#include <cstdio>

#include "tools/content/PathText.h"
#include "tools/entry/ExitCode.h"
#include "tools/patch/MirrorTree.h"
#include "tools/patch/OperatorCommands.h"

namespace ombrelta::patchkit {
namespace {

void PrintAdded(const std::vector<MirrorObject>& objects) {
    for (const MirrorObject& object : objects)
        std::printf("%s %s: %llu bytes, %s\n", object.replaced ? "replaced" : "added", object.path.c_str(),
                    static_cast<unsigned long long>(object.bytes), object.linked ? "hard link" : "copy");
}

void PrintPruned(const std::vector<MirrorObject>& objects) {
    for (const MirrorObject& object : objects)
        std::printf("pruned %s: %llu bytes\n", object.path.c_str(),
                    static_cast<unsigned long long>(object.bytes));
}

}  // namespace

int MirrorCommand(const CommandArguments& values) {
    RequireShape(values,
                 {.command = "mirror", .required = {{"--root", "ROOT"}, {"--out", "DIR"}}, .flags = {"--prune"}});
    const MirrorOutcome outcome = LayOutMirror(PathFromUtf8(values.at("--root")),
                                               PathFromUtf8(values.at("--out")), values.contains("--prune"));
    if (!outcome.problems.empty())
        return Refuse(outcome.problems);
    PrintAdded(outcome.added);
    PrintPruned(outcome.pruned);
    std::printf("%s\n", DescribeMirror(PathFromUtf8(values.at("--out")), outcome).c_str());
    return kExitDone;
}

}  // namespace ombrelta::patchkit
