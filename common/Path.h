#pragma once

#include <string>
#include <string_view>

namespace ombrelta {

/// True for '\' and '/', which are separators on every host; c may be narrow, wide or a byte.
template <typename Char>
constexpr bool IsSeparator(Char c) {
    return c == Char('\\') || c == Char('/');
}

/// b when a is empty; a when b is empty; a + b when a ends with a separator; else a + '\' + b.
std::wstring JoinPath(std::wstring_view a, std::wstring_view b);

/// Creates d and every missing prefix of it that ends at a separator and is at least two
/// characters long. False for an empty d; otherwise whether d exists at the end.
bool CreateDirectories(const std::wstring& d);

/// CreateDirectories of the text before p's last separator; true when there is none or it is empty.
bool EnsureParentDirectories(const std::wstring& p);

/// The running program's own file, as a full path (empty when it cannot be found).
std::wstring GetExecutablePath();

/// The running program's own directory, ending with a separator (empty when it cannot be found).
std::wstring GetExecutableDirectory();

}  // namespace ombrelta
