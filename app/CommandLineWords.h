#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ombrelta {

/// One argument of a command line: as written there (quotes and backslashes kept) and as the
/// started program reads it.
struct CommandLineWord {
    std::wstring_view written;
    std::wstring value;
};

/// The arguments after the program name, read as CommandLineToArgvW reads them. The program
/// name ends at its closing quote, or unquoted at the first blank, and has no escapes. After it,
/// blanks outside quotes separate arguments; 2n backslashes before a quote are n backslashes and
/// the quote opens or closes a quoted part, 2n+1 are n backslashes and a literal quote; other
/// backslashes stand as they are; a third quote in a row is a literal one. Never fails: an open
/// quoted part runs to the end.
std::vector<CommandLineWord> CommandLineArguments(std::wstring_view commandLine);

}  // namespace ombrelta
