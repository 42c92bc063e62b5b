#include "protocol/PacketWriter.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;

TEST(PacketWriterTest, NumbersAreLittleEndian) {
    PacketWriter writer;
    writer.WriteByte(0x7F);
    writer.WriteUInt16(40104);
    writer.WriteUInt32(1);
    writer.WriteUInt32(0x12345678);
    EXPECT_EQ(writer.Data(), (Bytes{0x7F, 0xA8, 0x9C, 0x01, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12}));
}

TEST(PacketWriterTest, StringsCarryALengthByte) {
    struct Row {
        std::string text;
        std::uint8_t lengthByte;
    };
    const Row rows[] = {
        {"", 0x00}, {"UNKNOWN", 0x07}, {std::string(255, 'x'), 0xFF}, {std::string("a\0b", 3), 3}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.size());
        PacketWriter writer;
        writer.WriteString(row.text);
        Bytes expected = test::ToBytes(row.text);
        expected.insert(expected.begin(), row.lengthByte);
        EXPECT_EQ(writer.Data(), expected);
    }
}

TEST(PacketWriterTest, TooLongStringThrowsAndAppendsNothing) {
    PacketWriter writer;
    writer.WriteByte(1);
    try {
        writer.WriteString(std::string(256, 'x'));
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "String Too Long");
    }
    EXPECT_EQ(writer.Data(), Bytes{1});
}

TEST(PacketWriterTest, TakeEmptiesTheWriter) {
    PacketWriter writer;
    writer.WriteUInt16(1);
    EXPECT_EQ(writer.Take(), (Bytes{1, 0}));
    EXPECT_TRUE(writer.Data().empty());
}

}  // namespace
}  // namespace ombrelta
