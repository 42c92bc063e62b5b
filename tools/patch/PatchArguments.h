#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ombrelta::patchkit {

/// The arguments after a command: "--name value" pairs, the flags alone with their own name as
/// value, and one bare argument (the operand) under "".
using CommandArguments = std::map<std::string, std::string>;

/// An option and what its value stands for in the usage ("--from", "OLD_DIR").
using OptionName = std::pair<std::string, std::string>;

/// What one command takes.
struct CommandShape {
    std::string command;
    std::vector<OptionName> required{};
    std::vector<OptionName> optional{};
    std::vector<std::string> flags{};
    std::string operand{};  // what the bare argument stands for ("FILE.zip"); empty: none taken
};

/// Splits the arguments after the command (arguments[0]) into CommandArguments. "--delta",
/// "--dry-run" and "--prune" are flags; every other "--name" takes the next argument as its value, or an empty
/// value when none follows (the end, or another "--name"), which RequireShape refuses. Throws
/// UsageError naming the option or argument: an option given twice, a second bare argument.
CommandArguments SplitArguments(const std::vector<std::wstring>& arguments);

/// Checks the arguments against what the command takes. Throws UsageError naming the command and
/// the option or argument: an option it does not take (listing those it does), a required one
/// missing, an option without its value, an operand missing or one it does not take.
void RequireShape(const CommandArguments& values, const CommandShape& shape);

/// The whole number given for option, from lowest to highest; nothing when the option is absent.
/// Throws UsageError "NAME: expected a whole number from LOWEST to HIGHEST, got TEXT".
std::optional<std::int64_t> NumberArgument(const CommandArguments& values,
                                           const std::string& option,
                                           std::int64_t lowest,
                                           std::int64_t highest);

}  // namespace ombrelta::patchkit
