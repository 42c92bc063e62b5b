#include "common/Hex.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(BytesToHex, TwoLowerCaseDigitsPerByte) {
    struct Row {
        std::vector<std::uint8_t> bytes;
        const char* hex;
    };
    const std::vector<Row> rows = {
        {{}, ""},
        {{0x0A}, "0a"},
        {{0x00}, "00"},
        {{0xFF, 0x10, 0xAB, 0x09}, "ff10ab09"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hex);
        EXPECT_EQ(BytesToHex(row.bytes), row.hex);
    }
}

}  // namespace
}  // namespace ombrelta
