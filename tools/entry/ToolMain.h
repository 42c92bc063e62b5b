#pragma once

#include <string>
#include <vector>

namespace ombrelta {

/// The body of a console tool: its arguments (without the program name) as wide text; returns the
/// exit code. Each tool defines it; the entry point of the host calls it with standard input and
/// output in binary mode.
int ToolMain(const std::vector<std::wstring>& arguments);

}  // namespace ombrelta
