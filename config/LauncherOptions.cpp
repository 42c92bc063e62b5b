#include "config/LauncherOptions.h"

#include <optional>
#include <string>

#include "common/AsciiCase.h"
#include "common/Decimal.h"
#include "common/MirrorUrl.h"

namespace ombrelta {
namespace {

struct Range {
    int lowest;
    int highest;
};

constexpr Range kPipelineRange{1, 256};
constexpr Range kRetriesRange{0, 10};
constexpr Range kMaxrateRange{16, 1000000};

std::optional<int> ParseBoundedInt(std::string_view value, Range range) {
    const std::optional<int> number = ParseDecimal<int>(value);
    if (!number || *number < range.lowest || *number > range.highest)
        return std::nullopt;
    return number;
}

std::optional<std::string> InRange(std::string_view value, Range range, std::string_view unit = {}) {
    if (ParseBoundedInt(value, range))
        return std::nullopt;
    return "expected a whole number from " + std::to_string(range.lowest) + " to " + std::to_string(range.highest) +
           std::string(unit);
}

std::optional<std::string> OnOrOff(std::string_view value) {
    if (value == "1" || value == "0")
        return std::nullopt;
    return std::string("expected 1 (on) or 0 (off)");
}

}  // namespace

bool ApplyOption(LauncherOptions& options, std::string_view key, std::string_view value) {
    if (key == "pipeline") {
        options.pipeline = EqualsIgnoringAsciiCase(value, std::string_view("auto"))
                               ? Pipeline::Auto()
                               : Pipeline(ParseBoundedInt(value, kPipelineRange).value_or(1));
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
        options.retries = ParseBoundedInt(value, kRetriesRange).value_or(LauncherOptions{}.retries);
        return true;
    }
    if (key == "resolve") {
        options.resolve = value == "1";
        return true;
    }
    if (key == "maxrate") {
        options.maxrate = ParseBoundedInt(value, kMaxrateRange).value_or(LauncherOptions{}.maxrate);
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
    if (key == "servers") {
        options.servers = ParseServerList(value);
        return true;
    }
    if (key == "mirror") {
        options.mirror = ParseMirrorBases(value);
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
    if (key == "blockrepair") {
        options.blockrepair = value == "1";
        return true;
    }
    return false;
}

std::optional<std::string> CheckOption(std::string_view key, std::string_view value) {
    if (key == "pipeline")
        return EqualsIgnoringAsciiCase(value, std::string_view("auto")) ? std::nullopt
                                                                         : InRange(value, kPipelineRange, ", or auto");
    if (key == "hashcache" || key == "resume" || key == "resolve" || key == "delta" || key == "blockrepair")
        return OnOrOff(value);
    if (key == "retries")
        return InRange(value, kRetriesRange);
    if (key == "maxrate")
        return InRange(value, kMaxrateRange, " (KiB/s)");
    if (key == "publickey" && !value.empty() && !PublicKeySet::Parse(value).Valid())
        return std::string("expected one or two base64 P-256 public keys separated by a comma, as "
                           "\"ombrelta-patch keygen\" prints them");
    return std::nullopt;
}

}  // namespace ombrelta
