#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelta {

/// "TOOL VERSION\n": the tool's name and the version of the build, the number the launcher's
/// version resource carries ("1.0.0.0").
std::string ToolVersionLine(std::string_view tool);

/// The answer to a command line whose first argument is "--help" (or "-h") or "--version": the
/// usage or the version line printed to standard output and exit code kExitDone. Nothing for
/// any other command line, which the tool then reads itself.
std::optional<int> AnswerHelpOrVersion(std::string_view tool,
                                       std::string_view usage,
                                       const std::vector<std::wstring>& arguments);

}  // namespace ombrelta
