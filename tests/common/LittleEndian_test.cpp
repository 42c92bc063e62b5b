#include "common/LittleEndian.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(LittleEndian, LowestByteFirstAtAnyOffset) {
    const std::vector<std::uint8_t> bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF};
    EXPECT_EQ(LoadLittleEndian<std::uint8_t>(bytes, 8), 0xFFu);
    EXPECT_EQ(LoadLittleEndian<std::uint16_t>(bytes, 1), 0x0302u);
    EXPECT_EQ(LoadLittleEndian<std::uint32_t>(bytes, 5), 0xFF080706u);
    EXPECT_EQ(LoadLittleEndian<std::uint64_t>(bytes, 1), 0xFF08070605040302u);
}

TEST(LittleEndian, AppendAndStoreWriteOnlyTheirOwnBytes) {
    std::vector<std::uint8_t> out{0xAA};
    AppendLittleEndian(out, std::uint16_t{0x0102});
    AppendLittleEndian(out, std::uint64_t{0x8070605040302010});
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0xAA, 0x02, 0x01, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80}));
    StoreLittleEndian(out, 3, std::uint32_t{0xDDCCBBFF});
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0xAA, 0x02, 0x01, 0xFF, 0xBB, 0xCC, 0xDD, 0x50, 0x60, 0x70, 0x80}));
    EXPECT_EQ(LoadLittleEndian<std::uint32_t>(out, 3), 0xDDCCBBFFu);
}

}  // namespace
}  // namespace ombrelta
