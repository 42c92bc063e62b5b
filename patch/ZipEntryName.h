#pragma once

#include <string>
#include <string_view>

namespace ombrelta::zip {

/// Decodes an entry name as stored in the archive. A name marked as UTF-8 by its entry's flags,
/// or one that is valid UTF-8 anyway (many tools write UTF-8 without the flag), is decoded as
/// UTF-8, its invalid bytes becoming U+FFFD. Any other name is read as code page 437, the zip
/// format's default, so names from Windows' own zip writer keep their letters. Empty input
/// gives empty text.
std::wstring DecodeEntryName(std::string_view stored, bool flaggedUtf8);

}  // namespace ombrelta::zip
