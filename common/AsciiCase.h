#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// Letter case as file names on disk and hexadecimal digests know it: only A to Z and a to z
// pair up; every other character, wide or narrow, compares as it is.

namespace ombrelta {

/// c lowered when it is one of A to Z; any other character unchanged.
template <typename Char>
constexpr Char LowerAscii(Char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

/// True when a and b have the same length and the same characters once A to Z are lowered
/// ("é" and "É" differ). Either side may be narrow or wide; characters compare by value.
template <typename CharA, typename CharB>
bool EqualsIgnoringAsciiCase(std::basic_string_view<CharA> a, std::basic_string_view<CharB> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](CharA x, CharB y) { return LowerAscii(x) == LowerAscii(y); });
}

/// text with A to Z lowered.
inline std::string LowerAsciiLetters(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), LowerAscii<char>);
    return text;
}

}  // namespace ombrelta
