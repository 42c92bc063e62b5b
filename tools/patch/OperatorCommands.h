#pragma once

#include "tools/patch/CommandOptions.h"

namespace ombrelta::patchkit {

/// Flags of every command: options that take no value.
inline const std::vector<std::string> kCommandFlags{"--delta", "--prune", "--dry-run"};

/// "mirror --root ROOT --out DIR [--prune]": lays out the mirror tree (LayOutMirror) and prints
/// each object added, replaced and pruned, then the totals. Exit code 2 for a usage fault or
/// content with faults, 1 when an object cannot be written.
int MirrorCommand(const CommandValues& values);

/// "publish --root ROOT --to NEW_TREE --version N [--delta] [--sign-key KEY] [--mirror DIR]
/// [--reload-pid FILE | --reload-command CMD] [--dry-run]": Publish, printing each step, or with
/// --dry-run what it would change. Exit code 2 for a usage fault or a publication refused (root
/// as it was), 1 when a file cannot be read or written or the mirror or reload fails.
int PublishCommand(const CommandValues& values);

/// "list --root ROOT": what the root serves (ListContent), one line each. Exit code 2 for a usage
/// fault or content the server would refuse.
int ListCommand(const CommandValues& values);

}  // namespace ombrelta::patchkit
