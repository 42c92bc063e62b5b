#pragma once

#include <string>

namespace ombrelta {

// A file that a patch must replace while it is in use (the running launcher, a loaded library)
// cannot be written over, but it can be renamed: it moves aside to "NAME.old" in its folder, the
// new file takes its name, and the old one is deleted at a later start.

/// path followed by ".old".
std::wstring MovedAsideName(const std::wstring& path);

/// Renames the file at path to MovedAsideName(path), replacing an older file of that name.
/// False, with both untouched, when the rename fails.
bool MoveAside(const std::wstring& path);

/// Undoes MoveAside: renames MovedAsideName(path) back over whatever is at path. False when the
/// rename fails.
bool MoveBack(const std::wstring& path);

/// Deletes every file "NAME.old" directly in directory whose NAME exists beside it: what
/// MoveAside left there. A file that cannot be deleted (still in use) stays; never fails.
void RemoveMovedAside(const std::wstring& directory);

}  // namespace ombrelta
