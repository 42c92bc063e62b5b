#include "tools/server/CoalescingRunner.h"

#include <atomic>
#include <condition_variable>
#include <system_error>

#include <gtest/gtest.h>

namespace ombrelta::server {
namespace {

TEST(CoalescingRunner, AThreadThatCannotStartLeavesTheNextRequestFree) {
    std::atomic<int> runs{0};
    int starts = 0;
    {
        CoalescingRunner runner(
            [&] { ++runs; },
            [&](std::function<void()> body) {
                if (++starts == 1)
                    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
                return std::thread(std::move(body));
            });
        EXPECT_THROW(runner.Request(), std::system_error);
        runner.Request();
    }
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(runs, 1);
}

TEST(CoalescingRunner, RequestsWhileRunningMakeOneMoreRun) {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool released = false;
    int runs = 0;
    {
        CoalescingRunner runner([&] {
            std::unique_lock<std::mutex> lock(mutex);
            ++runs;
            started = true;
            changed.notify_all();
            changed.wait(lock, [&] { return released; });
        });
        runner.Request();
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return started; });
        }
        for (int i = 0; i < 3; ++i)
            runner.Request();
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
    EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace ombrelta::server
