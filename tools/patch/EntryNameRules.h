#pragma once

#include <string>
#include <vector>

namespace ombrelta::patchkit {

/// One line for each entry name of a patch archive the launcher would refuse or write under
/// another name (refused by its safe-path rules, not valid UTF-8, holding a control character or a
/// backslash),
/// and one for each set of names equal without regard to the case of ASCII letters, which are
/// one file on a player's disk. Names are UTF-8 as the launcher writes them, with '/' separators;
/// a directory's trailing '/' is allowed.
/// Empty when every name is good.
std::vector<std::string> CheckEntryNames(const std::vector<std::string>& names);

}  // namespace ombrelta::patchkit
