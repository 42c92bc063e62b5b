#pragma once

#include <string>
#include <vector>

namespace ombrelta {

/// Every reason a launcher would not use plain "Ombrel.dat" text as written, one line each, those
/// of a line starting with "line N: " (counted from 1): a line that is not key=value (empty lines
/// and lines starting with "#" aside), a key no launcher knows (ApplyConfigSetting), a port not
/// from 1 to 65535, an empty host or one that is not a dotted IPv4 address (any name with
/// resolve=1), an opt-in value CheckOption refuses, and no host or no port at all. Empty when the
/// text is fine. Never fails.
std::vector<std::string> CheckConfigText(const std::string& text);

}  // namespace ombrelta
