#pragma once

#include "tools/patch/PatchArguments.h"

namespace ombrelta::patchkit {

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
