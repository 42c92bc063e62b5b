#include "ui/IndicatorPatches.h"

#include <gtest/gtest.h>

#include "ui/Layout.h"

namespace ombrelta {
namespace {

TEST(IndicatorPatchesTest, EachColourGetsItsOwnSlotUntilCleared) {
    IndicatorPatches patches;
    EXPECT_EQ(patches.Find(0xFF007850), std::nullopt);
    EXPECT_EQ(patches.Claim(0xFF007850), std::optional<std::size_t>(0));
    EXPECT_EQ(patches.Claim(0xFF007C50), std::optional<std::size_t>(1));
    EXPECT_EQ(patches.Find(0xFF007C50), std::optional<std::size_t>(1));
    patches.Clear();
    EXPECT_EQ(patches.Find(0xFF007C50), std::nullopt);
}

TEST(IndicatorPatchesTest, NoSlotOnceAllAreTaken) {
    IndicatorPatches patches;
    for (std::uint32_t i = 0; i < IndicatorPatches::kSlots; ++i)
        ASSERT_TRUE(patches.Claim(i).has_value());
    EXPECT_EQ(patches.Claim(0xFF00DC50), std::nullopt);
    EXPECT_EQ(patches.Find(0xFF00DC50), std::nullopt);
}

TEST(IndicatorPatchesTest, OnlyAreasInsideThePatchAreCovered) {
    struct Row {
        std::int32_t left, top, right, bottom;
        bool covered;
    };
    const Row rows[] = {
        {564, 366, 580, 382, true},  {570, 370, 575, 375, true}, {563, 366, 580, 382, false},
        {564, 366, 581, 382, false}, {564, 365, 580, 382, false}, {564, 366, 580, 383, false},
        {0, 0, 1080, 607, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.left << "," << row.top << "-" << row.right << "," << row.bottom);
        EXPECT_EQ(Covers(kIndicatorPatch, row.left, row.top, row.right, row.bottom), row.covered);
    }
}

}  // namespace
}  // namespace ombrelta
