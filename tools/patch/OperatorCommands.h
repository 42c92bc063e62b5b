#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/entry/ExitCode.h"
#include "tools/patch/PatchArguments.h"

namespace ombrelta::patchkit {

/// Prints each problem on standard error after the tool's name; returns kExitBadInput.
inline int Refuse(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems)
        std::fprintf(stderr, "ombrelta-patch: %s\n", problem.c_str());
    return kExitBadInput;
}

/// "mirror --root ROOT --out DIR [--prune]": lays out the mirror tree (LayOutMirror) and prints
/// each object added, replaced and pruned, then the totals. Usage faults throw UsageError; exit
/// code 2 for content with faults, 1 when an object cannot be written.
int MirrorCommand(const CommandArguments& values);

/// "publish --root ROOT --to NEW_TREE --version N [--delta] [--sign-key KEY] [--mirror DIR]
/// [--reload-pid FILE | --reload-command CMD] [--dry-run]": Publish, printing each step, or with
/// --dry-run what it would change. Usage faults throw UsageError; exit code 2 for a publication
/// refused (root as it was), 1 when a file cannot be read or written or the mirror or reload fails.
int PublishCommand(const CommandArguments& values);

/// "list --root ROOT": what the root serves (ListContent), one line each. Usage faults throw
/// UsageError; exit code 2 for content the server would refuse.
int ListCommand(const CommandArguments& values);

}  // namespace ombrelta::patchkit
