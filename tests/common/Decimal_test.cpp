#include "common/Decimal.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

// One row per spelling, read by all three parsers: a signed type for ParseDecimal so that a '-'
// that std::from_chars would take is seen refused, an unsigned one for the canonical form.
TEST(Decimal, WholeTextDigitsInRange) {
    constexpr std::nullopt_t no = std::nullopt;
    struct Row {
        std::string_view text;
        std::optional<std::int16_t> decimal;
        std::optional<std::uint16_t> canonical;
        std::optional<std::int16_t> withSign;
    };
    const std::vector<Row> rows = {
        {"0", 0, 0, 0},
        {"7", 7, 7, 7},
        {"007", 7, no, 7},
        {"00", 0, no, 0},
        {"32767", 32767, 32767, 32767},
        {"32768", no, 32768, no},
        {"65535", no, 65535, no},
        {"65536", no, no, no},
        {"99999999999999999999999", no, no, no},
        {"-5", no, no, -5},
        {"-0", no, no, 0},
        {"-32768", no, no, -32768},
        {"-32769", no, no, no},
        {"", no, no, no},
        {"-", no, no, no},
        {"--5", no, no, no},
        {"-+5", no, no, no},
        {"+5", no, no, no},
        {" 5", no, no, no},
        {"5 ", no, no, no},
        {"- 5", no, no, no},
        {"5x", no, no, no},
        {"0x10", no, no, no},
        {"1.0", no, no, no},
        {std::string_view("5\0", 2), no, no, no},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseDecimal<std::int16_t>(row.text), row.decimal);
        EXPECT_EQ(ParseCanonicalDecimal<std::uint16_t>(row.text), row.canonical);
        EXPECT_EQ(ParseSignedDecimal<std::int16_t>(row.text), row.withSign);
    }
}

}  // namespace
}  // namespace ombrelta
