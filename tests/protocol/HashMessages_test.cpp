#include "protocol/HashMessages.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::PayloadBuilder;

constexpr std::uint16_t kHashData = 40102;

template <typename Parse>
std::string ErrorText(Parse parse) {
    try {
        parse();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

PayloadBuilder& Entry(PayloadBuilder& builder,
                      std::uint8_t id,
                      std::string_view path,
                      std::string_view hash,
                      std::int64_t size) {
    return builder.U8(id).Str(path).Str(hash).I64(size);
}

TEST(HashMessagesTest, RequestsAreByteExact) {
    EXPECT_EQ(BuildFileChunkRequest(7, 0),
              (Bytes{0xA6, 0x9C, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(BuildFileChunkRequest(0x1234, 0x01020304),
              (Bytes{0xA6, 0x9C, 0x01, 0x00, 0x34, 0x12, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(BuildHashListRequest("PC-1"),
              (Bytes{0xA7, 0x9C, 0x04, 'P', 'C', '-', '1', 0x07, 'U', 'N', 'K', 'N', 'O', 'W', 'N'}));
    EXPECT_EQ(BuildHashListRequest(""), (Bytes{0xA7, 0x9C, 0x00, 0x07, 'U', 'N', 'K', 'N', 'O', 'W', 'N'}));
}

TEST(HashMessagesTest, LongClientNameThrows) {
    EXPECT_EQ(ErrorText([] { BuildHashListRequest(std::string(256, 'c')); }), "String Too Long");
}

TEST(HashMessagesTest, HashListEntriesInServerOrder) {
    PayloadBuilder builder;
    builder.U16(kHashData).U16(0xFFFF).U8(3);
    Entry(builder, 1, "Tarvesk.exe", "0123456789abcdef0123456789abcdef", 1000);
    Entry(builder, 200, std::string("data\\a.pak\0\0", 12), std::string("ff\0", 3), 0);
    Entry(builder, 3, "", "", 4294967295LL);
    builder.Raw("trailing");
    std::vector<HashEntry> entries = ParseHashListAnswer(builder.Take());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].id, 1);
    EXPECT_EQ(entries[0].path, "Tarvesk.exe");
    EXPECT_EQ(entries[0].hash, "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(entries[0].size, 1000u);
    EXPECT_EQ(entries[1].id, 200);
    EXPECT_EQ(entries[1].path, "data\\a.pak");
    EXPECT_EQ(entries[1].hash, "ff");
    EXPECT_EQ(entries[1].size, 0u);
    EXPECT_EQ(entries[2].path, "");
    EXPECT_EQ(entries[2].size, 4294967295u);
}

TEST(HashMessagesTest, EntrySizesAreLimitedTo32Bits) {
    struct Row {
        std::int64_t wire;
        std::uint32_t size;
    };
    const Row rows[] = {
        {0, 0},
        {4294967295LL, 4294967295u},
        {4294967296LL, 4294967295u},
        {INT64_MAX, 4294967295u},
        {-1, 4294967295u},
        {-2, 4294967294u},
        {-4294967296LL, 0u},
        {INT64_MIN, 0u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wire);
        EXPECT_EQ(ClampHashEntrySize(row.wire), row.size);
        PayloadBuilder builder;
        builder.U16(kHashData).U16(0).U8(1);
        Entry(builder, 9, "f", "h", row.wire);
        std::vector<HashEntry> entries = ParseHashListAnswer(builder.Take());
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].size, row.size);
    }
}

TEST(HashMessagesTest, HashListFaults) {
    struct Row {
        const char* name;
        Bytes payload;
        std::size_t count;
        const char* error;
    };
    auto start = [](std::uint8_t count) { return PayloadBuilder().U16(kHashData).U16(0).U8(count); };
    const Row rows[] = {
        {"count 0", start(0).Take(), 0, ""},
        {"count 0, junk after", start(0).Raw("junk").Take(), 0, ""},
        {"no count", PayloadBuilder().U16(kHashData).U16(0).Take(), 0, "ReadByte out of range"},
        {"no ignored value", PayloadBuilder().U16(kHashData).U8(0).Take(), 0, "ReadUInt16 out of range"},
        {"half a type", Bytes{0xA6}, 0, "ReadUInt16 out of range"},
        {"missing entry", start(1).Take(), 0, "ReadByte out of range"},
        {"no path length", start(1).U8(1).Take(), 0, "ReadByte out of range"},
        {"short path", start(1).U8(1).U8(4).Raw("ab").Take(), 0, "ReadString out of range"},
        {"no hash length", start(1).U8(1).Str("ab").Take(), 0, "ReadByte out of range"},
        {"short hash", start(1).U8(1).Str("ab").U8(3).Take(), 0, "ReadString out of range"},
        {"short size", start(1).U8(1).Str("ab").Str("h").U32(1).Take(), 0, "ReadInt64 out of range"},
        {"second entry cut", start(2).U8(1).Str("a").Str("h").I64(1).U8(2).Take(), 0,
         "ReadByte out of range"},
        {"other code", PayloadBuilder().U16(40101).U16(0).U8(0).Take(), 0, "Invalid hash response."},
        {"request code", PayloadBuilder().U16(40103).U16(0).U8(0).Take(), 0, "Invalid hash response."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<HashEntry> entries;
        EXPECT_EQ(ErrorText([&] { entries = ParseHashListAnswer(row.payload); }), row.error);
        EXPECT_EQ(entries.size(), row.count);
    }
}

TEST(HashMessagesTest, FileChunkAnswers) {
    struct Row {
        const char* name;
        Bytes payload;
        Bytes chunk;
        bool last;
        const char* error;
    };
    auto head = [](std::uint32_t lastFlag, std::uint32_t size) {
        return PayloadBuilder().U16(kHashData).U16(1).U16(7).U32(lastFlag).U32(size);
    };
    const Row rows[] = {
        {"data", head(0, 2).Raw(Bytes{5, 6}).Take(), {5, 6}, false, ""},
        {"data, last, junk after", head(1, 1).Raw(Bytes{5, 6}).Take(), {5}, true, ""},
        {"flag 3", head(3, 1).U8(1).Take(), {1}, false, ""},
        {"empty, last", head(1, 0).Take(), {}, true, ""},
        {"empty, not last", head(0, 0).Take(), {}, false, ""},
        {"size -1", head(1, 0xFFFFFFFFu).Take(), {}, true, ""},
        {"100 announced, 60 came",
         head(0, 100).Raw(Bytes(60, 1)).Take(),
         {},
         false,
         "Hash chunk size mismatch. size=100 remaining=60 index=7 offset=0"},
        {"largest size, nothing came",
         head(1, 0x7FFFFFFFu).Take(),
         {},
         true,
         "Hash chunk size mismatch. size=2147483647 remaining=0 index=7 offset=0"},
        {"no size",
         PayloadBuilder().U16(kHashData).U16(1).U16(7).U32(1).U16(0).Take(),
         {},
         true,
         "ReadUInt32 out of range"},
        {"no flag",
         PayloadBuilder().U16(kHashData).U16(1).U16(7).Take(),
         {},
         false,
         "ReadUInt32 out of range"},
        {"no second ignored value",
         PayloadBuilder().U16(kHashData).U16(1).U8(0).Take(),
         {},
         false,
         "ReadUInt16 out of range"},
        {"patch chunk code",
         PayloadBuilder().U16(40101).U32(1).U32(0).Take(),
         {},
         false,
         "Invalid response for hash file download."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bool last = false;
        Bytes chunk;
        EXPECT_EQ(ErrorText([&] { chunk = ParseFileChunkAnswer(row.payload, 7, 0, last); }), row.error);
        EXPECT_EQ(chunk, row.chunk);
        EXPECT_EQ(last, row.last);
    }
}

TEST(HashMessagesTest, MismatchTextNamesFileAndOffset) {
    bool last = false;
    Bytes payload = PayloadBuilder().U16(kHashData).U16(1).U16(65535).U32(0).U32(10).Raw(Bytes(3, 0)).Take();
    EXPECT_EQ(ErrorText([&] { ParseFileChunkAnswer(payload, 65535, 4294967295u, last); }),
              "Hash chunk size mismatch. size=10 remaining=3 index=65535 offset=4294967295");
}

}  // namespace
}  // namespace ombrelta
