#include "protocol/LauncherApi.h"

#include <atomic>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "protocol/HashMessages.h"
#include "protocol/PatchMessages.h"
#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::PayloadBuilder;
using test::Reply;
using test::ScriptedServer;

std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

// One message operation, called with fixed arguments, and its three fixed failure texts.
struct Operation {
    const char* name;
    std::function<void(LauncherApi&)> call;
    std::uint16_t answerCode;
    const char* sendFailed;
    const char* emptyAnswer;
    const char* invalidAnswer;
};

std::vector<Operation> Operations() {
    bool last = false;
    return {
        {"HasNextPatch", [](LauncherApi& api) { api.HasNextPatch(1000, "UNKNOWN", "UNKNOWN"); }, 40104,
         "Failed to send has next patch request.", "Empty has next patch response.",
         "Invalid has next patch response."},
        {"GetNextPatch", [](LauncherApi& api) { api.GetNextPatch(1000); }, 40100,
         "Failed to send get next patch request.", "Empty get next patch response.",
         "Invalid get next patch response."},
        {"GetPatchChunk", [last](LauncherApi& api) mutable { api.GetPatchChunk(1001, 65536, last); }, 40101,
         "Failed to send patch chunk request.", "Empty patch chunk response.",
         "Invalid patch chunk response."},
        {"GetHashList", [](LauncherApi& api) { api.GetHashList("PC"); }, 40102,
         "Failed to send hash request.", "Empty hash response.", "Invalid hash response."},
        {"GetFileChunk", [last](LauncherApi& api) mutable { api.GetFileChunk(7, 0, last); }, 40102,
         "Failed to send hash file chunk request.", "Empty hash file chunk response.",
         "Invalid response for hash file download."},
    };
}

TEST(LauncherApiMessagesTest, RequestsOnTheWireAreByteExact) {
    ScriptedServer server([](const Bytes& request) { return Reply::Payload(request); });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    bool last = false;
    for (const Operation& operation : Operations()) {
        SCOPED_TRACE(operation.name);
        // The echoed request is not a valid answer for every message; only the request counts here.
        (void)ErrorText([&] { operation.call(api); });
    }
    (void)ErrorText([&] { api.GetHashList("UNKNOWN"); });
    (void)last;
    const std::vector<Bytes> expected = {
        {0x16, 0x00, 0xA8, 0x9C, 0xE8, 0x03, 0x07, 0x55, 0x4E, 0x4B, 0x4E,
         0x4F, 0x57, 0x4E, 0x07, 0x55, 0x4E, 0x4B, 0x4E, 0x4F, 0x57, 0x4E},
        {0x06, 0x00, 0xA4, 0x9C, 0xE8, 0x03},
        {0x0A, 0x00, 0xA5, 0x9C, 0xE9, 0x03, 0x00, 0x00, 0x01, 0x00},
        {0x0F, 0x00, 0xA7, 0x9C, 0x02, 'P', 'C', 0x07, 'U', 'N', 'K', 'N', 'O', 'W', 'N'},
        {0x0C, 0x00, 0xA6, 0x9C, 0x01, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0x14, 0x00, 0xA7, 0x9C, 0x07, 'U', 'N', 'K', 'N', 'O',
         'W',  'N',  0x07, 'U',  'N',  'K', 'N', 'O', 'W', 'N'},
    };
    EXPECT_EQ(server.Requests(), expected);
    EXPECT_TRUE(api.IsConnected());
}

TEST(LauncherApiMessagesTest, SendFailureTexts) {
    for (const Operation& operation : Operations()) {
        SCOPED_TRACE(operation.name);
        LauncherApi api;
        EXPECT_EQ(ErrorText([&] { operation.call(api); }), operation.sendFailed);
    }
}

TEST(LauncherApiMessagesTest, ClosedAnswerGivesTheEmptyTextAndCloses) {
    for (const Operation& operation : Operations()) {
        SCOPED_TRACE(operation.name);
        ScriptedServer server([](const Bytes&) { return Reply::Close(); });
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        EXPECT_EQ(ErrorText([&] { operation.call(api); }), operation.emptyAnswer);
        EXPECT_FALSE(api.IsConnected());
    }
}

TEST(LauncherApiMessagesTest, ZeroLengthAnswerGivesTheEmptyTextAndKeepsTheConnection) {
    for (const Operation& operation : Operations()) {
        SCOPED_TRACE(operation.name);
        ScriptedServer server([](const Bytes&) { return Reply::Raw(Bytes{0x02, 0x00}); });
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        EXPECT_EQ(ErrorText([&] { operation.call(api); }), operation.emptyAnswer);
        EXPECT_TRUE(api.IsConnected());
    }
}

TEST(LauncherApiMessagesTest, AnswerOfAnotherMessageGivesTheInvalidText) {
    for (const Operation& operation : Operations()) {
        for (std::uint16_t code : {40100, 40101, 40102, 40103, 40104, 0}) {
            if (code == operation.answerCode)
                continue;
            SCOPED_TRACE(std::string(operation.name) + " answered with " + std::to_string(code));
            ScriptedServer server([code](const Bytes&) {
                return Reply::Payload(PayloadBuilder().U16(code).U32(1).U32(0).Raw(Bytes(8, 0)).Take());
            });
            LauncherApi api;
            ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
            EXPECT_EQ(ErrorText([&] { operation.call(api); }), operation.invalidAnswer);
            EXPECT_TRUE(api.IsConnected());
        }
    }
}

TEST(LauncherApiMessagesTest, OneByteAnswerGivesTheReaderText) {
    for (const Operation& operation : Operations()) {
        SCOPED_TRACE(operation.name);
        ScriptedServer server([](const Bytes&) { return Reply::Payload(Bytes{0xA6}); });
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        EXPECT_EQ(ErrorText([&] { operation.call(api); }), "ReadUInt16 out of range");
    }
}

TEST(LauncherApiMessagesTest, LongClientTextIsRefusedBeforeSending) {
    ScriptedServer server([](const Bytes& request) { return Reply::Payload(request); });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    const std::string tooLong(256, 'x');
    EXPECT_EQ(ErrorText([&] { api.HasNextPatch(1, tooLong, "UNKNOWN"); }), "String Too Long");
    EXPECT_EQ(ErrorText([&] { api.HasNextPatch(1, "UNKNOWN", tooLong); }), "String Too Long");
    EXPECT_EQ(ErrorText([&] { api.GetHashList(tooLong); }), "String Too Long");
    EXPECT_TRUE(api.IsConnected());
    EXPECT_TRUE(server.Requests().empty());
}

TEST(LauncherApiMessagesTest, PatchRoadThroughTheServer) {
    ScriptedServer server([](const Bytes& request) {
        switch (test::RequestCode(request)) {
            case 40104:
                return Reply::Payload(PayloadBuilder().U16(40104).U8(test::U16At(request, 2) == 1000).Take());
            case 40100:
                return Reply::Payload(
                    PayloadBuilder().U16(40100).U32(0).U16(1001).U16(3).U8(0).Str("p.zip").U32(5).Take());
            default:
                return Reply::Payload(PayloadBuilder().U16(40101).U32(1).U32(5).Raw("PK\x03\x04!").Take());
        }
    });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    EXPECT_TRUE(api.HasNextPatch(1000, "UNKNOWN", "UNKNOWN"));
    EXPECT_FALSE(api.HasNextPatch(1001, "UNKNOWN", "UNKNOWN"));
    PatchInfo info = api.GetNextPatch(1000);
    EXPECT_TRUE(info.found);
    EXPECT_EQ(info.version, 1001);
    EXPECT_EQ(info.extraValue, 3);
    EXPECT_EQ(info.fileName, "p.zip");
    EXPECT_EQ(info.size, 5u);
    bool last = false;
    EXPECT_EQ(api.GetPatchChunk(1001, 0, last), test::ToBytes("PK\x03\x04!"));
    EXPECT_TRUE(last);
}

TEST(LauncherApiMessagesTest, HashRoadThroughTheServer) {
    ScriptedServer server([](const Bytes& request) {
        if (test::RequestCode(request) == 40103)
            return Reply::Payload(PayloadBuilder()
                                      .U16(40102)
                                      .U16(0)
                                      .U8(1)
                                      .U8(7)
                                      .Str("a/b.pak")
                                      .Str("00ff")
                                      .I64(4294967296LL)
                                      .Take());
        return Reply::Payload(
            PayloadBuilder().U16(40102).U16(1).U16(7).U32(0).U32(100).Raw(Bytes(60, 1)).Take());
    });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    std::vector<HashEntry> entries = api.GetHashList("UNKNOWN");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, 7);
    EXPECT_EQ(entries[0].path, "a/b.pak");
    EXPECT_EQ(entries[0].hash, "00ff");
    EXPECT_EQ(entries[0].size, 4294967295u);
    bool last = true;
    EXPECT_EQ(ErrorText([&] { api.GetFileChunk(7, 0, last); }),
              "Hash chunk size mismatch. size=100 remaining=60 index=7 offset=0");
    EXPECT_FALSE(last);
    EXPECT_TRUE(api.IsConnected());
}

// Asked together, the list is kept only when no patch follows; either way, and after an invalid
// answer, the next request meets its own answer.
TEST(LauncherApiMessagesTest, PatchQuestionTogetherWithTheList) {
    ScriptedServer server([](const Bytes& request) {
        switch (test::RequestCode(request)) {
            case 40104: {
                const std::uint16_t version = test::U16At(request, 2);
                return Reply::Payload(PayloadBuilder().U16(version == 7 ? 40100 : 40104).U8(version == 1000).Take());
            }
            case 40103:
                return Reply::Payload(
                    PayloadBuilder().U16(40102).U16(0).U8(1).U8(7).Str("a.pak").Str("00ff").I64(3).Take());
            default:
                return Reply::Payload(PayloadBuilder().U16(40100).U32(1).Take());
        }
    });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    std::optional<std::vector<HashEntry>> list;
    EXPECT_TRUE(api.HasNextPatchAndList(1000, "UNKNOWN", "UNKNOWN", "PC", list));
    EXPECT_FALSE(list.has_value());
    EXPECT_FALSE(api.GetNextPatch(1000).found);
    EXPECT_EQ(ErrorText([&] { api.HasNextPatchAndList(7, "UNKNOWN", "UNKNOWN", "PC", list); }),
              "Invalid has next patch response.");
    EXPECT_FALSE(api.GetNextPatch(7).found);
    EXPECT_FALSE(api.HasNextPatchAndList(1001, "UNKNOWN", "UNKNOWN", "PC", list));
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ((*list)[0].path, "a.pak");

    const Bytes question = BuildHasNextPatchRequest(1000, "UNKNOWN", "UNKNOWN");
    const Bytes listRequest = BuildHashListRequest("PC");
    const std::vector<Bytes> seen = server.RequestPayloads();
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen[0], question);
    EXPECT_EQ(seen[1], listRequest);
    EXPECT_EQ(seen[2], BuildNextPatchRequest(1000));
    EXPECT_EQ(seen[7], listRequest);
}

TEST(LauncherApiMessagesTest, LastIsClearedWhenTheChunkRequestFails) {
    LauncherApi api;
    bool last = true;
    EXPECT_EQ(ErrorText([&] { api.GetPatchChunk(1, 0, last); }), "Failed to send patch chunk request.");
    EXPECT_FALSE(last);
    last = true;
    EXPECT_EQ(ErrorText([&] { api.GetFileChunk(1, 0, last); }), "Failed to send hash file chunk request.");
    EXPECT_FALSE(last);
}

TEST(LauncherApiMessagesTest, OnlyAFirstRequestThatLostTheConnectionIsSentElsewhere) {
    const Bytes yes = PayloadBuilder().U16(40104).U8(1).Take();
    struct Row {
        const char* name;
        std::function<Reply(int request)> first;
        int requests;
        int lost;
        const char* error;
    };
    const std::vector<Row> rows = {
        {"first request closed", [](int) { return Reply::Close(); }, 1, 1, ""},
        {"second request closed", [&](int n) { return n == 0 ? Reply::Payload(yes) : Reply::Close(); }, 2, 0,
         "Empty has next patch response."},
        {"first answer of length 2", [](int) { return Reply::Raw(Bytes{0x02, 0x00}); }, 1, 0,
         "Empty has next patch response."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::atomic<int> seen{0};
        ScriptedServer first([&](const Bytes&) { return row.first(seen++); });
        ScriptedServer second([&](const Bytes&) { return Reply::Payload(yes); });
        LauncherApi api;
        int lost = 0;
        api.OnFirstAnswerLost([&] {
            ++lost;
            return api.Connect(second.Host(), second.Port());
        });
        ASSERT_TRUE(api.Connect(first.Host(), first.Port()));
        std::string error;
        for (int i = 0; i < row.requests; ++i)
            error = ErrorText([&] { api.HasNextPatch(1000, "UNKNOWN", "UNKNOWN"); });
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(lost, row.lost);
    }
}

}  // namespace
}  // namespace ombrelta
