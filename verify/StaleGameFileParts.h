#pragma once

#include <vector>

#include "protocol/HashEntry.h"

namespace ombrelta {

/// Deletes the parts of game file repairs below the working folder, where the entries' paths
/// lead, that no later repair can continue (SweepGameFileParts, each safe entry listed with the
/// record of its size and MD5 text). A file the list names is never deleted, nor anything else.
/// Failures are ignored.
void RemoveStaleGameFileParts(const std::vector<HashEntry>& entries);

}  // namespace ombrelta
