#include "ui/WorkerLink.h"

#include <thread>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(WorkerLinkTest, PostsOnlyWhileAttached) {
    WorkerLink link;
    int window = 0;
    int calls = 0;
    auto post = [&](WindowHandle target) {
        ++calls;
        EXPECT_EQ(target, &window);
        return true;
    };
    EXPECT_FALSE(link.Post(post));
    link.Attach(&window);
    EXPECT_TRUE(link.Post(post));
    link.Detach();
    EXPECT_FALSE(link.Post(post));
    EXPECT_EQ(calls, 1);
}

TEST(WorkerLinkTest, PostPassesTheFailureOfThePost) {
    WorkerLink link;
    int window = 0;
    link.Attach(&window);
    EXPECT_FALSE(link.Post([](WindowHandle) { return false; }));
}

TEST(WorkerLinkTest, WaitEndsWhenNoWorkerRuns) {
    WorkerLink link;
    EXPECT_TRUE(link.WaitForWorkers(std::chrono::milliseconds(0)));
    link.WorkerStarted();
    EXPECT_FALSE(link.WaitForWorkers(std::chrono::milliseconds(1)));
    std::thread worker([&] { link.WorkerEnded(); });
    EXPECT_TRUE(link.WaitForWorkers(std::chrono::minutes(1)));
    worker.join();
}

TEST(WorkerLinkTest, WorkerPostingAfterDetachIsDropped) {
    WorkerLink link;
    int window = 0;
    link.Attach(&window);
    link.WorkerStarted();
    link.Detach();
    bool posted = true;
    std::thread worker([&] {
        posted = link.Post([](WindowHandle) { return true; });
        link.WorkerEnded();
    });
    EXPECT_TRUE(link.WaitForWorkers(std::chrono::minutes(1)));
    worker.join();
    EXPECT_FALSE(posted);
}

}  // namespace
}  // namespace ombrelta
