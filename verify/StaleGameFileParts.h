#pragma once

#include <vector>

#include "protocol/HashEntry.h"

namespace ombrelta {

/// Deletes, below the working directory, the parts of game file repairs that no later repair can
/// continue: "PATH.download" beside a listed PATH whose record "PATH.download.resume" does not
/// hold that entry's size and MD5 text (or that has no record), and "PATH.download" beside a PATH
/// the list does not name whose record has a part record's shape; each with its record, and a
/// record of that shape without its part. A file the list names is never deleted, nor anything
/// else. Failures are ignored.
void RemoveStaleGameFileParts(const std::vector<HashEntry>& entries);

}  // namespace ombrelta
