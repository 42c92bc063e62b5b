#include "tools/patch/PatchArguments.h"

#include <algorithm>

#include "common/Decimal.h"
#include "common/Text.h"
#include "tools/entry/ToolErrors.h"

namespace ombrelta::patchkit {
namespace {

bool IsFlag(const std::string& name) {
    return name == "--delta" || name == "--dry-run" || name == "--prune";
}

bool Takes(const std::vector<OptionName>& options, const std::string& name) {
    return std::any_of(options.begin(), options.end(), [&](const OptionName& option) { return option.first == name; });
}

std::string Accepted(const CommandShape& shape) {
    std::string text;
    for (const std::vector<OptionName>* options : {&shape.required, &shape.optional}) {
        for (const auto& [name, value] : *options)
            text += (text.empty() ? "" : ", ") + name + " " + value;
    }
    for (const std::string& flag : shape.flags)
        text += (text.empty() ? "" : ", ") + flag;
    return text.empty() ? "none" : text;
}

}  // namespace

CommandArguments SplitArguments(const std::vector<std::wstring>& arguments) {
    CommandArguments values;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string name = WideToUtf8(arguments[i]);
        if (!name.starts_with("--")) {
            if (!values.emplace("", name).second)
                throw UsageError("unexpected argument " + name + " after " + values.at(""));
            continue;
        }
        // A misspelt flag ("--delat") must not take the next option for its value.
        const bool valueFollows = i + 1 < arguments.size() && !arguments[i + 1].starts_with(L"--");
        const std::string value = IsFlag(name) ? name : valueFollows ? WideToUtf8(arguments[++i]) : "";
        if (!values.emplace(name, value).second)
            throw UsageError(name + " given twice");
    }
    return values;
}

void RequireShape(const CommandArguments& values, const CommandShape& shape) {
    for (const auto& [name, value] : values) {
        if (name.empty() && shape.operand.empty())
            throw UsageError(shape.command + ": unexpected argument " + value);
        const bool known = name.empty() || Takes(shape.required, name) || Takes(shape.optional, name) ||
                           std::find(shape.flags.begin(), shape.flags.end(), name) != shape.flags.end();
        if (!known)
            throw UsageError(shape.command + ": unknown option " + name + " (it takes " + Accepted(shape) + ")");
    }
    if (!shape.operand.empty() && !values.contains(""))
        throw UsageError(shape.command + ": missing " + shape.operand);
    for (const std::vector<OptionName>* options : {&shape.required, &shape.optional}) {
        for (const auto& [name, value] : *options) {
            const auto given = values.find(name);
            if (given == values.end() && options == &shape.required)
                throw UsageError(shape.command + ": missing " + name + " " + value);
            if (given != values.end() && given->second.empty())
                throw UsageError(name + ": missing value " + value);
        }
    }
}

std::optional<std::int64_t> NumberArgument(const CommandArguments& values,
                                           const std::string& option,
                                           std::int64_t lowest,
                                           std::int64_t highest) {
    const auto it = values.find(option);
    if (it == values.end())
        return std::nullopt;
    const std::optional<std::int64_t> number = ParseSignedDecimal<std::int64_t>(it->second);
    if (!number || *number < lowest || *number > highest)
        throw UsageError(option + ": expected a whole number from " + std::to_string(lowest) + " to " +
                         std::to_string(highest) + ", got " + it->second);
    return number;
}

}  // namespace ombrelta::patchkit
