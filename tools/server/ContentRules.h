#pragma once

#include <string>
#include <vector>

#include "tools/server/ContentTree.h"

namespace ombrelta::server {

/// Adds a problem for every game file path the launcher would refuse or take for another file:
/// a path its own safe-path rule refuses, a name that is not valid UTF-8 or holds a control
/// character or a backslash (a folder separator to the launcher), and every set of paths equal
/// without regard to the case of ASCII letters (one file on a player's disk).
void CheckGameFilePaths(const std::vector<std::string>& paths, ContentProblems& problems);

/// Adds a problem when a patch archive's name is not a plain file name the launcher takes:
/// refused by its safe-path rule, not valid UTF-8, or holding a control character or a
/// separator.
void CheckPatchFileName(const std::string& name, ContentProblems& problems);

}  // namespace ombrelta::server
