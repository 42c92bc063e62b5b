#pragma once

#include <string>
#include <string_view>

namespace ombrelta {

/// True when text is well-formed UTF-8: no stray continuation byte, no overlong form, no
/// surrogate, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

/// True when text holds a C0 control character or DEL (a line feed forges log lines, and no
/// file system of a player takes them all).
bool HasControlCharacter(std::string_view text);

/// The text fit for one log line: control characters, bytes of broken UTF-8 and backslashes
/// become \xNN escapes; everything else stays as it is.
std::string EscapeForLog(std::string_view text);

/// The first reason the launcher would not take name as it stands (not valid UTF-8, a control
/// character, refused by its safe-path rule), or null.
const char* LauncherNameFault(std::string_view name);

}  // namespace ombrelta
