#pragma once

#include <cstddef>
#include <string_view>

namespace ombrelta {

/// Whether standard output is a terminal (a console window on Windows) rather than a file or pipe.
bool StandardOutputIsTerminal();

/// Columns of the terminal on standard output; 80 when it cannot tell.
std::size_t StandardOutputColumns();

/// Writes bytes to standard output at once, past the C library's buffer; failures are ignored.
void WriteStandardOutput(std::string_view bytes);

/// Lets Ctrl-C (and a termination request) end the program only after a line feed, so that a
/// live line cut short leaves the shell's prompt on a line of its own.
void EndLineOnInterrupt();

}  // namespace ombrelta
