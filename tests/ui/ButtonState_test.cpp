#include "ui/ButtonState.h"

#include <array>

#include <gtest/gtest.h>

#include "ui/Layout.h"

namespace ombrelta {
namespace {

ButtonState StartButton() {
    ButtonState button;
    PlaceButton(button, 395, 470, 250, 50);
    return button;
}

TEST(ButtonStateTest, PlaceSetsEdgesAndClearsFlags) {
    ButtonState button;
    button.hovered = true;
    button.pressed = true;
    button.enabled = false;
    PlaceButton(button, 975, 32, 28, 18);
    EXPECT_EQ(button.left, 975);
    EXPECT_EQ(button.top, 32);
    EXPECT_EQ(button.right, 1003);
    EXPECT_EQ(button.bottom, 50);
    EXPECT_FALSE(button.hovered);
    EXPECT_FALSE(button.pressed);
    EXPECT_FALSE(button.enabled);
}

TEST(ButtonStateTest, InsideTestIncludesEveryEdge) {
    struct Row {
        std::int32_t x, y;
        bool inside;
    };
    const Row rows[] = {
        {645, 495, true}, {646, 495, false}, {395, 495, true}, {394, 495, false},
        {500, 470, true}, {500, 469, false}, {500, 520, true}, {500, 521, false},
        {395, 470, true}, {645, 520, true},  {0, 0, false},    {-1, -1, false},
    };
    ButtonState start = StartButton();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.x << "," << row.y);
        EXPECT_EQ(Contains(start, row.x, row.y), row.inside);
    }
}

TEST(ButtonStateTest, HoverFollowsPointerAndReportsChanges) {
    ButtonState start = StartButton();
    EXPECT_TRUE(UpdateHover(start, 500, 500));
    EXPECT_TRUE(start.hovered);
    EXPECT_FALSE(UpdateHover(start, 501, 500));
    EXPECT_TRUE(UpdateHover(start, 10, 10));
    EXPECT_FALSE(start.hovered);
    EXPECT_FALSE(UpdateHover(start, 11, 10));
}

TEST(ButtonStateTest, HoverKeepsPressWhenPointerLeaves) {
    ButtonState start = StartButton();
    start.pressed = true;
    UpdateHover(start, 10, 10);
    EXPECT_TRUE(start.pressed);
}

TEST(ButtonStateTest, DisabledButtonNeverHovers) {
    ButtonState start = StartButton();
    start.hovered = true;
    start.pressed = true;
    start.enabled = false;
    EXPECT_TRUE(UpdateHover(start, 500, 500));
    EXPECT_FALSE(start.hovered);
    EXPECT_FALSE(start.pressed);
    EXPECT_FALSE(UpdateHover(start, 500, 500));
    EXPECT_FALSE(start.hovered);
}

TEST(ButtonStateTest, DisableClearsEveryFlag) {
    ButtonState start = StartButton();
    start.hovered = true;
    start.pressed = true;
    DisableButton(start);
    EXPECT_FALSE(start.hovered);
    EXPECT_FALSE(start.pressed);
    EXPECT_FALSE(start.enabled);
}

struct SixButtons {
    std::array<ButtonState, kButtonCount> states;
    std::array<ButtonState*, kButtonCount> pointers;
    SixButtons() {
        for (std::size_t i = 0; i < kButtonCount; ++i) {
            const ButtonLayout& layout = kButtonLayouts[i];
            PlaceButton(states[i], layout.left, layout.top, layout.width, layout.height);
            pointers[i] = &states[i];
        }
    }
};

TEST(ButtonStateTest, PressTakesTheFirstEnabledButtonUnderThePoint) {
    SixButtons buttons;
    EXPECT_EQ(PressButtons(buttons.pointers, 1020, 30), std::optional<std::size_t>(2));
    EXPECT_TRUE(buttons.states[2].pressed);
    EXPECT_EQ(PressButtons(buttons.pointers, 890, 30), std::optional<std::size_t>(4));
}

TEST(ButtonStateTest, PressOnBackgroundOrDisabledStartDrags) {
    SixButtons buttons;
    EXPECT_EQ(PressButtons(buttons.pointers, 100, 100), std::nullopt);
    DisableButton(buttons.states[0]);
    EXPECT_EQ(PressButtons(buttons.pointers, 500, 495), std::nullopt);
    EXPECT_FALSE(buttons.states[0].pressed);
}

TEST(ButtonStateTest, ReleaseInsideClicksAndOutsideDoesNot) {
    SixButtons buttons;
    PressButtons(buttons.pointers, 1020, 30);
    ReleaseResult outside = ReleaseButtons(buttons.pointers, 500, 300);
    EXPECT_TRUE(outside.released);
    EXPECT_FALSE(outside.clicked);
    EXPECT_EQ(outside.index, 2u);
    EXPECT_FALSE(buttons.states[2].pressed);

    PressButtons(buttons.pointers, 1020, 30);
    ReleaseResult inside = ReleaseButtons(buttons.pointers, 1050, 57);
    EXPECT_TRUE(inside.released);
    EXPECT_TRUE(inside.clicked);
    EXPECT_EQ(inside.index, 2u);
}

TEST(ButtonStateTest, ReleaseWithoutPressDoesNothing) {
    SixButtons buttons;
    ReleaseResult result = ReleaseButtons(buttons.pointers, 1020, 30);
    EXPECT_FALSE(result.released);
    EXPECT_FALSE(result.clicked);
}

TEST(ButtonStateTest, ReleaseClearsPressOfDisabledButtons) {
    SixButtons buttons;
    buttons.states[0].pressed = true;
    buttons.states[0].enabled = false;
    ReleaseResult result = ReleaseButtons(buttons.pointers, 500, 495);
    EXPECT_FALSE(result.released);
    EXPECT_FALSE(buttons.states[0].pressed);
}

// The window holds the mouse while a button is pressed, so it sees every release, also one
// outside the window, whose coordinates arrive wrapped to 16 bits.
TEST(ButtonStateTest, ReleaseOutsideTheWindowEndsThePressForGood) {
    struct Row {
        const char* where;
        std::int32_t x;
        std::int32_t y;
    };
    const Row rows[] = {
        {"left", -40, 30}, {"above", 1030, -3}, {"right", 1200, 30}, {"below", 1030, 700}, {"far", -1, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where);
        SixButtons buttons;
        ASSERT_EQ(PressButtons(buttons.pointers, 1030, 39), std::optional<std::size_t>(2));
        auto lParam = (static_cast<std::uint32_t>(row.y) << 16) | (static_cast<std::uint32_t>(row.x) & 0xFFFF);
        PointerPosition outside = PointerFromMessage(lParam);
        ReleaseResult release = ReleaseButtons(buttons.pointers, outside.x, outside.y);
        EXPECT_TRUE(release.released);
        EXPECT_FALSE(release.clicked);
        // A later press elsewhere released over Exit must not close the launcher.
        ASSERT_EQ(PressButtons(buttons.pointers, 860, 37), std::optional<std::size_t>(3));
        ReleaseResult later = ReleaseButtons(buttons.pointers, 1030, 39);
        EXPECT_EQ(later.index, 3u);
        EXPECT_FALSE(later.clicked);
    }
}

TEST(ButtonStateTest, LostCaptureAndLeavingClearTheirFlags) {
    SixButtons buttons;
    EXPECT_FALSE(ClearPresses(buttons.pointers));
    PressButtons(buttons.pointers, 1030, 39);
    UpdateHover(buttons.states[2], 1030, 39);
    EXPECT_TRUE(ClearHovers(buttons.pointers));
    EXPECT_TRUE(buttons.states[2].pressed);
    EXPECT_FALSE(ClearHovers(buttons.pointers));
    EXPECT_TRUE(ClearPresses(buttons.pointers));
    EXPECT_FALSE(ReleaseButtons(buttons.pointers, 1030, 39).released);
}

}  // namespace
}  // namespace ombrelta
