#include "service/ServerOrder.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

// The places a round yields when `take` of them are asked for, then whether it is exhausted.
std::vector<std::size_t> Round(ServerOrder& order, std::size_t take) {
    order.StartRound();
    std::vector<std::size_t> places;
    for (std::size_t i = 0; i < take; ++i) {
        const std::optional<std::size_t> place = order.Next();
        if (!place)
            break;
        places.push_back(*place);
    }
    return places;
}

TEST(ServerOrderTest, RoundsStartAfterTheServerTriedLastAndWrapAround) {
    struct Case {
        std::string name;
        std::size_t count;
        std::vector<std::size_t> takes;
        std::vector<std::vector<std::size_t>> rounds;
    };
    const std::vector<Case> cases = {
        {"one server: every round is that server", 1, {5, 1}, {{0}, {0}}},
        {"first round from the first server", 3, {3}, {{0, 1, 2}}},
        {"second server used, then lost", 3, {2, 3}, {{0, 1}, {2, 0, 1}}},
        {"last server used, then lost: wraps", 3, {3, 1, 1}, {{0, 1, 2}, {0}, {1}}},
        {"first server used, lost again and again", 5, {1, 1, 1, 1, 1, 1}, {{0}, {1}, {2}, {3}, {4}, {0}}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ServerOrder order(row.count);
        for (std::size_t i = 0; i < row.takes.size(); ++i)
            EXPECT_EQ(Round(order, row.takes[i]), row.rounds[i]) << "round " << i;
    }
}

TEST(ServerOrderTest, ARoundTriesEachServerOnce) {
    ServerOrder order(4);
    EXPECT_EQ(order.Next(), std::nullopt);
    order.StartRound();
    ASSERT_EQ(order.Next(), 0u);
    order.StartRound();
    std::vector<std::size_t> places;
    while (const std::optional<std::size_t> place = order.Next())
        places.push_back(*place);
    EXPECT_EQ(places, (std::vector<std::size_t>{1, 2, 3, 0}));
    EXPECT_EQ(order.Next(), std::nullopt);
}

}  // namespace
}  // namespace ombrelta
