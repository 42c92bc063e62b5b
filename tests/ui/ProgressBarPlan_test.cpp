#include "ui/ProgressBarPlan.h"

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(ProgressBarPlanTest, Geometry) {
    struct Row {
        std::int32_t progress;
        bool complete, back, fill;
        ProgressBarPlan plan;
    };
    const Row rows[] = {
        {0, true, true, true, {false, true, 0, false}},
        {50, true, true, true, {false, true, 150, true}},
        {40, false, false, false, {false, false, 120, false}},
        {100, true, true, true, {true, false, 0, false}},
        {100, false, true, true, {false, true, 300, true}},
        {99, true, true, true, {false, true, 297, true}},
        {1, true, true, true, {false, true, 3, true}},
        {-5, true, true, true, {false, true, 0, false}},
        {250, false, true, true, {false, true, 300, true}},
        {250, true, true, true, {true, false, 0, false}},
        {70, true, false, true, {false, false, 210, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.progress << " " << row.complete << row.back << row.fill);
        ProgressBarPlan plan = PlanProgressBar(row.progress, row.complete, row.back, row.fill);
        EXPECT_EQ(plan.completeImage, row.plan.completeImage);
        EXPECT_EQ(plan.backImage, row.plan.backImage);
        EXPECT_EQ(plan.fillWidth, row.plan.fillWidth);
        EXPECT_EQ(plan.fillImage, row.plan.fillImage);
    }
}

}  // namespace
}  // namespace ombrelta
