#include "protocol/PatchMessages.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::PayloadBuilder;

constexpr std::uint16_t kHasNextPatch = 40104;
constexpr std::uint16_t kNextPatch = 40100;
constexpr std::uint16_t kPatchChunk = 40101;

template <typename Parse>
std::string ErrorText(Parse parse) {
    try {
        parse();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(PatchMessagesTest, RequestsAreByteExact) {
    EXPECT_EQ(BuildHasNextPatchRequest(1000, "UNKNOWN", "UNKNOWN"),
              (Bytes{0xA8, 0x9C, 0xE8, 0x03, 0x07, 0x55, 0x4E, 0x4B, 0x4E, 0x4F,
                     0x57, 0x4E, 0x07, 0x55, 0x4E, 0x4B, 0x4E, 0x4F, 0x57, 0x4E}));
    EXPECT_EQ(BuildNextPatchRequest(1000), (Bytes{0xA4, 0x9C, 0xE8, 0x03}));
    EXPECT_EQ(BuildPatchChunkRequest(1001, 65536), (Bytes{0xA5, 0x9C, 0xE9, 0x03, 0x00, 0x00, 0x01, 0x00}));
}

TEST(PatchMessagesTest, LongClientTextThrowsBeforeBuilding) {
    EXPECT_EQ(ErrorText([] { BuildHasNextPatchRequest(1, std::string(256, 'n'), "UNKNOWN"); }),
              "String Too Long");
    EXPECT_EQ(ErrorText([] { BuildHasNextPatchRequest(1, "UNKNOWN", std::string(256, 't')); }),
              "String Too Long");
    EXPECT_EQ(BuildHasNextPatchRequest(1, std::string(255, 'n'), "").size(), 2u + 2u + 256u + 1u);
}

TEST(PatchMessagesTest, HasNextPatchAnswers) {
    struct Row {
        const char* name;
        Bytes payload;
        bool result;
        const char* error;
    };
    const Row rows[] = {
        {"flag 1", PayloadBuilder().U16(kHasNextPatch).U8(1).Take(), true, ""},
        {"flag 0", PayloadBuilder().U16(kHasNextPatch).U8(0).Take(), false, ""},
        {"flag 2", PayloadBuilder().U16(kHasNextPatch).U8(2).Take(), false, ""},
        {"flag 255", PayloadBuilder().U16(kHasNextPatch).U8(255).Take(), false, ""},
        {"trailing bytes", PayloadBuilder().U16(kHasNextPatch).U8(1).U32(7).Take(), true, ""},
        {"type only", PayloadBuilder().U16(kHasNextPatch).Take(), false, "ReadByte out of range"},
        {"half a type", Bytes{0xA8}, false, "ReadUInt16 out of range"},
        {"empty", Bytes{}, false, "ReadUInt16 out of range"},
        {"other code", PayloadBuilder().U16(kNextPatch).U8(1).Take(), false,
         "Invalid has next patch response."},
        {"chunk code", PayloadBuilder().U16(kPatchChunk).Take(), false, "Invalid has next patch response."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bool result = false;
        EXPECT_EQ(ErrorText([&] { result = ParseHasNextPatchAnswer(row.payload); }), row.error);
        EXPECT_EQ(result, row.result);
    }
}

TEST(PatchMessagesTest, NextPatchRecord) {
    Bytes payload = PayloadBuilder()
                        .U16(kNextPatch)
                        .U32(0)
                        .U16(1001)
                        .U16(0xBEEF)
                        .U8(0x5A)
                        .Str("patch1001.zip")
                        .U32(123456)
                        .U8(9)
                        .Take();
    PatchInfo info = ParseNextPatchAnswer(payload);
    EXPECT_TRUE(info.found);
    EXPECT_EQ(info.version, 1001);
    EXPECT_EQ(info.extraValue, 0xBEEF);
    EXPECT_EQ(info.fileName, "patch1001.zip");
    EXPECT_EQ(info.size, 123456u);
}

TEST(PatchMessagesTest, NextPatchAnswers) {
    struct Row {
        const char* name;
        Bytes payload;
        bool found;
        std::string fileName;
        std::uint32_t size;
        const char* error;
    };
    const Row rows[] = {
        {"status 1", PayloadBuilder().U16(kNextPatch).U32(1).Take(), false, "", 0, ""},
        {"status 1 then junk", PayloadBuilder().U16(kNextPatch).U32(1).U16(5).Str("x").Take(), false, "", 0,
         ""},
        {"status 2 record",
         PayloadBuilder().U16(kNextPatch).U32(2).U16(5).U16(0).U8(0).Str("a").U32(9).Take(), true, "a", 9,
         ""},
        {"empty name", PayloadBuilder().U16(kNextPatch).U32(0).U16(5).U16(0).U8(0).U8(0).U32(77).Take(), true,
         "", 77, ""},
        {"padded name",
         PayloadBuilder()
             .U16(kNextPatch)
             .U32(0)
             .U16(5)
             .U16(0)
             .U8(0)
             .Str(std::string("p.zip\0\0", 7))
             .U32(1)
             .Take(),
         true, "p.zip", 1, ""},
        {"status 0 alone", PayloadBuilder().U16(kNextPatch).U32(0).Take(), false, "", 0,
         "ReadUInt16 out of range"},
        {"no status", PayloadBuilder().U16(kNextPatch).U16(1).Take(), false, "", 0,
         "ReadUInt32 out of range"},
        {"no extra value", PayloadBuilder().U16(kNextPatch).U32(0).U16(5).U8(1).Take(), false, "", 0,
         "ReadUInt16 out of range"},
        {"no ignored byte", PayloadBuilder().U16(kNextPatch).U32(0).U16(5).U16(0).Take(), false, "", 0,
         "ReadByte out of range"},
        {"no name length", PayloadBuilder().U16(kNextPatch).U32(0).U16(5).U16(0).U8(0).Take(), false, "", 0,
         "ReadByte out of range"},
        {"short name", PayloadBuilder().U16(kNextPatch).U32(0).U16(5).U16(0).U8(0).U8(5).Raw("abc").Take(),
         false, "", 0, "ReadString out of range"},
        {"no size", PayloadBuilder().U16(kNextPatch).U32(0).U16(5).U16(0).U8(0).Str("a").U16(1).Take(), false,
         "", 0, "ReadUInt32 out of range"},
        {"other code", PayloadBuilder().U16(kHasNextPatch).U32(1).Take(), false, "", 0,
         "Invalid get next patch response."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PatchInfo info;
        EXPECT_EQ(ErrorText([&] { info = ParseNextPatchAnswer(row.payload); }), row.error);
        EXPECT_EQ(info.found, row.found);
        EXPECT_EQ(info.fileName, row.fileName);
        EXPECT_EQ(info.size, row.size);
        if (!row.found) {
            EXPECT_EQ(info.version, 0);
            EXPECT_EQ(info.extraValue, 0);
        }
    }
}

TEST(PatchMessagesTest, PatchChunkAnswers) {
    struct Row {
        const char* name;
        Bytes payload;
        Bytes chunk;
        bool last;
        const char* error;
    };
    const Row rows[] = {
        {"data, more follow",
         PayloadBuilder().U16(kPatchChunk).U32(0).U32(3).Raw(Bytes{1, 2, 3}).Take(),
         {1, 2, 3},
         false,
         ""},
        {"data, last",
         PayloadBuilder().U16(kPatchChunk).U32(1).U32(2).Raw(Bytes{0, 9}).U8(7).Take(),
         {0, 9},
         true,
         ""},
        {"flag 2 is not last", PayloadBuilder().U16(kPatchChunk).U32(2).U32(1).U8(4).Take(), {4}, false, ""},
        {"empty, last", PayloadBuilder().U16(kPatchChunk).U32(1).U32(0).Take(), {}, true, ""},
        {"empty, not last", PayloadBuilder().U16(kPatchChunk).U32(0).U32(0).Take(), {}, false, ""},
        {"size -1", PayloadBuilder().U16(kPatchChunk).U32(0).U32(0xFFFFFFFFu).Take(), {}, false, ""},
        {"size -1, last", PayloadBuilder().U16(kPatchChunk).U32(1).U32(0x80000000u).Take(), {}, true, ""},
        {"data short",
         PayloadBuilder().U16(kPatchChunk).U32(1).U32(4).Raw(Bytes{1, 2, 3}).Take(),
         {},
         true,
         "ReadBytes out of range"},
        {"no size",
         PayloadBuilder().U16(kPatchChunk).U32(1).U16(0).Take(),
         {},
         true,
         "ReadUInt32 out of range"},
        {"no flag", PayloadBuilder().U16(kPatchChunk).U8(1).Take(), {}, false, "ReadUInt32 out of range"},
        {"other code",
         PayloadBuilder().U16(40102).U32(1).U32(0).Take(),
         {},
         false,
         "Invalid patch chunk response."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bool last = false;
        Bytes chunk;
        EXPECT_EQ(ErrorText([&] { chunk = ParsePatchChunkAnswer(row.payload, last); }), row.error);
        EXPECT_EQ(chunk, row.chunk);
        EXPECT_EQ(last, row.last);
    }
}

}  // namespace
}  // namespace ombrelta
