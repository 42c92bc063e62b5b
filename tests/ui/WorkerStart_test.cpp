#include "ui/WorkerStart.h"

#include <atomic>
#include <chrono>
#include <system_error>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

using std::chrono::milliseconds;

TEST(WorkerStartTest, RefusedThreadReportsItsReasonAndCountsNothing) {
    auto link = std::make_shared<WorkerLink>();
    bool ran = false;
    auto refuse = [](std::function<void()>) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "no thread");
    };
    std::optional<std::string> reason = StartWorker(link, [&] { ran = true; }, refuse);
    ASSERT_TRUE(reason.has_value());
    EXPECT_NE(reason->find("no thread"), std::string::npos);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(link->WaitForWorkers(milliseconds(0)));
}

TEST(WorkerStartTest, WorkerIsCountedUntilItsBodyEnds) {
    auto link = std::make_shared<WorkerLink>();
    std::function<void()> held;
    std::optional<std::string> reason =
        StartWorker(link, [] {}, [&](std::function<void()> body) { held = std::move(body); });
    EXPECT_FALSE(reason.has_value());
    EXPECT_FALSE(link->WaitForWorkers(milliseconds(0)));
    held();
    EXPECT_TRUE(link->WaitForWorkers(milliseconds(0)));
}

TEST(WorkerStartTest, RealThreadRuns) {
    auto link = std::make_shared<WorkerLink>();
    std::atomic<bool> ran = false;
    EXPECT_FALSE(StartWorker(link, [&] { ran = true; }).has_value());
    EXPECT_TRUE(link->WaitForWorkers(milliseconds(5000)));
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace ombrelta
