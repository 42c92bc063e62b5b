#pragma once

#include <string>
#include <vector>

#include "tools/content/ContentTree.h"

namespace ombrelta {

/// Adds a problem for every game file path the launcher would refuse or take for another file:
/// a path its own safe-path rule refuses, a name that is not valid UTF-8 or holds a control
/// character or a backslash (a folder separator to the launcher), and every set of paths equal
/// without regard to the case of ASCII letters (one file on a player's disk).
void CheckGameFilePaths(const std::vector<std::string>& paths, ContentProblems& problems);

/// The same rules for the entry names of a patch archive, UTF-8 as the launcher writes them with
/// '/' separators; a directory's trailing '/' is allowed. Each problem quotes its names.
void CheckEntryNames(const std::vector<std::string>& names, ContentProblems& problems);

/// Adds a problem when a patch archive's name is not a plain file name the launcher takes:
/// refused by its safe-path rule, not valid UTF-8, or holding a control character or a
/// separator.
void CheckPatchFileName(const std::string& name, ContentProblems& problems);

}  // namespace ombrelta
