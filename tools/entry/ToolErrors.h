#pragma once

#include <functional>
#include <string_view>

namespace ombrelta {

/// Runs a tool's work and returns its exit code. An exception it lets escape is printed to
/// standard error as the one line "TOOL: WHAT" and ends it with kExitFailed.
int RunPrintingErrors(std::string_view tool, const std::function<int()>& work);

}  // namespace ombrelta
