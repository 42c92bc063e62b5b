#include "config/LauncherConfig.h"

#include <array>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(ConfigScramblerThreadsTest, FirstUseFromManyThreadsGivesOneKey) {
    constexpr std::size_t kThreads = 8;
    const std::vector<std::uint8_t> plain(1500, 'x');
    std::array<std::vector<std::uint8_t>, kThreads> results;
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&results, &plain, t] {
            results[t] = plain;
            ScrambleConfig(results[t]);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t t = 1; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(results[t], results[0]);
    }
    std::vector<std::uint8_t> back = results[0];
    UnscrambleConfig(back);
    EXPECT_EQ(back, plain);
}

}  // namespace
}  // namespace ombrelta
