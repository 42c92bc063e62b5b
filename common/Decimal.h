#pragma once

#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>

// Strict decimal numbers for options, records and signed lists: the whole text is the number.
// Unlike atoi there is no blank, no '+', no trailing text, and a value out of range is refused
// rather than clamped or wrapped.

namespace ombrelta {

namespace detail {

inline bool StartsWithDigit(std::string_view text) {
    return !text.empty() && text.front() >= '0' && text.front() <= '9';
}

template <std::integral Number>
std::optional<Number> FromWholeText(std::string_view text) {
    Number value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace detail

/// The number the whole text spells in the decimal digits 0 to 9, leading zeros allowed; nothing
/// when the text is empty, holds any other character (a sign or a blank too) or is out of range.
template <std::integral Number>
std::optional<Number> ParseDecimal(std::string_view text) {
    if (!detail::StartsWithDigit(text))
        return std::nullopt;
    return detail::FromWholeText<Number>(text);
}

/// ParseDecimal, but with one spelling per number, as std::to_string writes it: no leading zero
/// ("0" itself is fine).
template <std::integral Number>
std::optional<Number> ParseCanonicalDecimal(std::string_view text) {
    if (text.size() > 1 && text.front() == '0')
        return std::nullopt;
    return ParseDecimal<Number>(text);
}

/// ParseDecimal, but a '-' may come first ("-0" too), for a caller that words its own complaint
/// about a negative value.
template <std::signed_integral Number>
std::optional<Number> ParseSignedDecimal(std::string_view text) {
    if (!detail::StartsWithDigit(text.starts_with('-') ? text.substr(1) : text))
        return std::nullopt;
    return detail::FromWholeText<Number>(text);
}

}  // namespace ombrelta
