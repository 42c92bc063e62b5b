#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/LauncherApi.h"
#include "tests/support/ScriptedServer.h"

namespace ombrelta {
namespace {

using test::Bytes;
using test::PayloadBuilder;
using test::Reply;
using test::ScriptedServer;

// A server answering each GET_BLOCK_MAP from a script of (announced size, piece) answers.
struct Answer {
    std::uint32_t mapSize;
    Bytes piece;
};

TEST(LauncherApiBlockMapTest, PiecesAddUpToTheAnnouncedSizeOrTheMapIsRefused) {
    const Bytes a(65000, 0xA1);
    const Bytes b(500, 0xB2);
    Bytes whole = a;
    whole.insert(whole.end(), b.begin(), b.end());
    const struct {
        const char* name;
        std::vector<Answer> answers;
        Bytes map;  // when error is empty
        std::string error;
    } rows[] = {
        {"no map", {{0, {}}}, {}, ""},
        {"one piece", {{5, Bytes(5, 7)}}, Bytes(5, 7), ""},
        {"two pieces", {{65500, a}, {65500, b}}, whole, ""},
        {"size changing", {{65500, a}, {65501, b}}, {}, "Invalid block map response."},
        {"piece past the size", {{3, Bytes(4, 1)}}, {}, "Invalid block map response."},
        {"empty piece before the end", {{65500, a}, {65500, {}}}, {}, "Invalid block map response."},
        {"size over the largest map", {{65581, Bytes(65000, 1)}}, {}, "Invalid block map response."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::size_t next = 0;
        ScriptedServer server([&](const Bytes&) {
            const Answer& answer = row.answers.at(std::min(next++, row.answers.size() - 1));
            return Reply::Payload(PayloadBuilder()
                                      .U16(40105)
                                      .U32(answer.mapSize)
                                      .U32(static_cast<std::uint32_t>(answer.piece.size()))
                                      .Raw(answer.piece)
                                      .Take());
        });
        LauncherApi api;
        ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
        try {
            EXPECT_EQ(api.GetBlockMap(9), row.map);
            EXPECT_EQ(row.error, "");
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(error.what(), row.error);
        }
        if (row.error.empty() && !row.map.empty()) {
            // Each request names the file and the bytes held so far.
            const std::vector<Bytes> requests = server.RequestPayloads();
            ASSERT_EQ(requests.size(), row.answers.size());
            EXPECT_EQ(requests.back(), (PayloadBuilder().U16(40105).U16(9).U32(static_cast<std::uint32_t>(
                                            row.map.size() - row.answers.back().piece.size())))
                                           .Take());
        }
    }
}

TEST(LauncherApiBlockMapTest, AnOlderServerClosingGivesTheEmptyText) {
    ScriptedServer server([](const Bytes&) { return Reply::Close(); });
    LauncherApi api;
    ASSERT_TRUE(api.Connect(server.Host(), server.Port()));
    EXPECT_THROW(
        {
            try {
                api.GetBlockMap(1);
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "Empty block map response.");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_FALSE(api.IsConnected());
}

}  // namespace
}  // namespace ombrelta
