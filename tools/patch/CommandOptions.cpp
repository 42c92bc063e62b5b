#include "tools/patch/CommandOptions.h"

#include <algorithm>

namespace ombrelta::patchkit {
namespace {

bool Among(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::optional<std::string> OptionFault(const std::string& command,
                                       const CommandValues& values,
                                       const CommandShape& shape) {
    for (const auto& [name, value] : values) {
        if (name.empty())
            return command + " takes no argument without an option: " + value;
        if (!Among(shape.required, name) && !Among(shape.optional, name) && !Among(shape.flags, name))
            return command + " has no option " + name;
    }
    for (const std::string& name : shape.required) {
        if (!values.contains(name))
            return command + " needs " + name;
    }
    return std::nullopt;
}

}  // namespace ombrelta::patchkit
