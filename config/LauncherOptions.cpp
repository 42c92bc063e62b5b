#include "config/LauncherOptions.h"

#include <optional>

#include "common/AsciiCase.h"
#include "common/Decimal.h"

namespace ombrelta {
namespace {

std::optional<int> ParseBoundedInt(std::string_view value, int lowest, int highest) {
    const std::optional<int> number = ParseDecimal<int>(value);
    if (!number || *number < lowest || *number > highest)
        return std::nullopt;
    return number;
}

}  // namespace

bool ApplyOption(LauncherOptions& options, std::string_view key, std::string_view value) {
    if (key == "pipeline") {
        options.pipeline = EqualsIgnoringAsciiCase(value, std::string_view("auto"))
                               ? LauncherOptions::kAutoPipeline
                               : ParseBoundedInt(value, 1, 256).value_or(LauncherOptions{}.pipeline);
        return true;
    }
    if (key == "hashcache") {
        options.hashcache = value == "1";
        return true;
    }
    if (key == "resume") {
        options.resume = value == "1";
        return true;
    }
    if (key == "retries") {
        options.retries = ParseBoundedInt(value, 0, 10).value_or(LauncherOptions{}.retries);
        return true;
    }
    if (key == "resolve") {
        options.resolve = value == "1";
        return true;
    }
    if (key == "maxrate") {
        options.maxrate = ParseBoundedInt(value, 16, 1000000).value_or(LauncherOptions{}.maxrate);
        return true;
    }
    if (key == "delta") {
        options.delta = value == "1";
        return true;
    }
    if (key == "publickey") {
        if (value.empty())
            options.publicKey.reset();
        else
            options.publicKey = PublicKeySet::Parse(value);
        return true;
    }
    if (key == "details") {
        options.details = value == "1";
        return true;
    }
    if (key == "log") {
        options.log = value == "1";
        return true;
    }
    return false;
}

}  // namespace ombrelta
