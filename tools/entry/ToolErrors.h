#pragma once

#include <functional>
#include <stdexcept>
#include <string_view>

namespace ombrelta {

/// A command line the tool cannot use; what() names the option or argument and what was expected.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// An input the command line names that is not there or not of its kind (a folder, a file, a
/// key); what() names it.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Runs a tool's work and returns its exit code. An exception it lets escape is printed to
/// standard error as the one line "TOOL: WHAT": a UsageError is followed by usage and ends it
/// with kExitBadInput, as does an InputError; any other ends it with kExitFailed.
int RunPrintingErrors(std::string_view tool, const std::function<int()>& work, std::string_view usage = {});

}  // namespace ombrelta
