#pragma once

// The exit codes every tool ends with, so that a script tells a refusal from a failure alike
// whichever tool it runs.

namespace ombrelta {

/// The work is done: made, signed, checked and found good, or served until told to stop.
inline constexpr int kExitDone = 0;
/// The work failed: a file that cannot be read or written, an address that cannot be listened
/// on, a start-up check or repair that did not succeed, an unexpected error.
inline constexpr int kExitFailed = 1;
/// A bad command line, or input the tool refuses as it stands: a patch or content with faults,
/// an "Ombrel.dat" that cannot be loaded.
inline constexpr int kExitBadInput = 2;

}  // namespace ombrelta
