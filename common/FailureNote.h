#pragma once

#include <string>

namespace ombrelta {

/// Collects the causes that deep layers note when something fails (a CRC-32 that differs, the
/// system's error for a file that cannot be opened), so that a failure that travels up as a
/// plain false or a fixed text can still be logged with its cause. Notes are kept per thread,
/// and only while a scope is open on that thread; without one, noting costs nothing and keeps
/// nothing. Scopes do not nest: the innermost one collects.
class FailureNotes {
public:
    FailureNotes();
    ~FailureNotes();
    FailureNotes(const FailureNotes&) = delete;
    FailureNotes& operator=(const FailureNotes&) = delete;

private:
    FailureNotes* outer;
    std::string notes;
    friend void NoteFailure(const std::string& cause);
    friend std::string TakeFailureNotes();
};

/// The causes noted in the scope open on this thread since it opened or since the last take,
/// joined by "; ", oldest first; empty when none or without a scope. Starts the collection over.
std::string TakeFailureNotes();

/// Adds cause to the scope open on this thread, if any. Never throws.
void NoteFailure(const std::string& cause);

/// The operating system's latest error on this thread as "system error N: TEXT" (GetLastError
/// on Windows, errno elsewhere), read at once after the failing call.
std::string SystemErrorText();

}  // namespace ombrelta
