#include "protocol/PacketReader.h"

#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;

std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no exception";
}

TEST(PacketReaderTest, ReadsLittleEndianFields) {
    PacketReader reader(Bytes{0x7F, 0xA8, 0x9C, 0x78, 0x56, 0x34, 0x12, 1, 2, 3, 4, 5, 6, 7, 0x80});
    EXPECT_EQ(reader.ReadByte(), 0x7F);
    EXPECT_EQ(reader.ReadUInt16(), 40104);
    EXPECT_EQ(reader.ReadUInt32(), 0x12345678u);
    EXPECT_EQ(reader.ReadInt64(), static_cast<std::int64_t>(0x8007060504030201ull));
    EXPECT_EQ(reader.Remaining(), 0u);
}

TEST(PacketReaderTest, Int64OfAllOnesIsMinusOne) {
    PacketReader reader(Bytes(8, 0xFF));
    EXPECT_EQ(reader.ReadInt64(), -1);
}

TEST(PacketReaderTest, ShortReadThrowsAndKeepsThePosition) {
    struct Row {
        const char* name;
        std::size_t available;
        std::function<void(PacketReader&)> read;
        const char* text;
    };
    const Row rows[] = {
        {"byte", 0, [](PacketReader& r) { r.ReadByte(); }, "ReadByte out of range"},
        {"uint16", 1, [](PacketReader& r) { r.ReadUInt16(); }, "ReadUInt16 out of range"},
        {"uint32", 3, [](PacketReader& r) { r.ReadUInt32(); }, "ReadUInt32 out of range"},
        {"int64", 7, [](PacketReader& r) { r.ReadInt64(); }, "ReadInt64 out of range"},
        {"string", 4, [](PacketReader& r) { r.ReadString(5); }, "ReadString out of range"},
        {"bytes", 4, [](PacketReader& r) { r.ReadBytes(5); }, "ReadBytes out of range"},
        {"huge string", 4, [](PacketReader& r) { r.ReadString(0xFFFFFFFFu); }, "ReadString out of range"},
        {"huge bytes", 4, [](PacketReader& r) { r.ReadBytes(0xFFFFFFFFu); }, "ReadBytes out of range"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes data{0xEE};
        for (std::size_t i = 0; i < row.available; ++i)
            data.push_back(static_cast<std::uint8_t>(0x41 + i));
        PacketReader reader(data);
        ASSERT_EQ(reader.ReadByte(), 0xEE);
        EXPECT_EQ(ErrorText([&] { row.read(reader); }), row.text);
        EXPECT_EQ(reader.Remaining(), row.available);
        if (row.available > 0) {
            EXPECT_EQ(reader.ReadByte(), 0x41);
        }
    }
}

TEST(PacketReaderTest, ZeroLengthReadsSucceedAtTheEnd) {
    PacketReader reader(Bytes{});
    EXPECT_EQ(reader.ReadString(0), "");
    EXPECT_TRUE(reader.ReadBytes(0).empty());
    EXPECT_EQ(reader.Remaining(), 0u);
}

TEST(PacketReaderTest, ReadStringDropsOnlyTrailingZeroBytes) {
    struct Row {
        Bytes data;
        std::string text;
    };
    const Row rows[] = {
        {{0x61, 0x62, 0x00, 0x00}, "ab"},
        {{0x61, 0x00, 0x62, 0x00}, std::string("a\0b", 3)},
        {{0x00, 0x00, 0x00, 0x00}, ""},
        {{0x61, 0x62, 0x63, 0x64}, "abcd"},
        {{0x00, 0x61, 0x62, 0x63}, std::string("\0abc", 4)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.data));
        Bytes data = row.data;
        data.push_back(0x99);
        PacketReader reader(data);
        EXPECT_EQ(reader.ReadString(4), row.text);
        EXPECT_EQ(reader.Remaining(), 1u);
    }
}

TEST(PacketReaderTest, ReadBytesKeepsZeroBytes) {
    PacketReader reader(Bytes{0x00, 0x01, 0x00});
    EXPECT_EQ(reader.ReadBytes(3), (Bytes{0x00, 0x01, 0x00}));
    EXPECT_EQ(reader.Remaining(), 0u);
}

TEST(PacketReaderTest, ReaderKeepsItsOwnCopy) {
    Bytes data{1, 2};
    PacketReader reader(data);
    data[0] = 9;
    EXPECT_EQ(reader.ReadByte(), 1);
}

}  // namespace
}  // namespace ombrelta
