#pragma once

#include <string>

namespace ombrelta {

// Every entry of a patch is first written beside its target under a staging name and put in
// place only once complete and checked, so a failed entry never leaves a damaged file behind.

/// target followed by ".ombrelta-new".
std::wstring StagingName(const std::wstring& target);

/// How a staged file came to lie at its target, if it did.
enum class StagedFilePlacement { Failed, Placed, PlacedAfterMovingAside };

/// Renames the complete file at staging over target; a target that can be written though not
/// replaced (held open by a program that shares writing but not deletion) gets the staging
/// file's bytes written over it. A target that cannot be written because it
/// is in use (a running program) is moved aside to "NAME.old" first (MoveAside) and put back
/// when the rename still fails. Any other target that cannot be written (read-only, a directory)
/// fails. On failure the staging file is deleted, target is left as it was and the system's
/// error is noted (NoteFailure).
StagedFilePlacement PlaceStagedFile(const std::wstring& staging, const std::wstring& target);

}  // namespace ombrelta
