#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ombrelta::patchkit {

/// A command's arguments: "--name" to its value, a flag to its own name, a bare argument
/// under "".
using CommandValues = std::map<std::string, std::string>;

/// The options a command takes.
struct CommandShape {
    std::vector<std::string> required;  // options that need a value and must be given
    std::vector<std::string> optional;  // options that need a value
    std::vector<std::string> flags;     // options without a value
};

/// The first fault of values for command, as one line naming the option: one the command does
/// not take, a bare argument, a missing required option. Nothing when they fit shape.
std::optional<std::string> OptionFault(const std::string& command,
                                       const CommandValues& values,
                                       const CommandShape& shape);

}  // namespace ombrelta::patchkit
