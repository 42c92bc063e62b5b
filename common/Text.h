#pragma once

#include <string>
#include <string_view>

namespace ombrelta {

/// Decodes UTF-8 into wide text (UTF-16 on Windows, UTF-32 elsewhere). Bytes that are not valid
/// UTF-8 become U+FFFD. An empty input or a failed conversion gives empty text.
std::wstring Utf8ToWide(std::string_view text);

/// Encodes wide text as UTF-8; unpaired surrogates become U+FFFD. Empty input or a failed
/// conversion gives empty text.
std::string WideToUtf8(std::wstring_view text);

}  // namespace ombrelta
