#include "ui/FrameKey.h"

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

struct Frame {
    WindowState state;
    std::array<ButtonState, kButtonCount> buttons{};

    FrameKey Key() const {
        std::array<const ButtonState*, kButtonCount> looks{};
        for (std::size_t i = 0; i < kButtonCount; ++i)
            looks[i] = &buttons[i];
        return MakeFrameKey(state, looks);
    }
};

TEST(FrameKeyTest, PulseAloneKeepsTheFrame) {
    Frame frame;
    frame.state.serverStatusText = kServerOnlineText;
    FrameKey before = frame.Key();
    StepPulse(frame.state);
    StepPulse(frame.state);
    EXPECT_EQ(frame.Key(), before);
}

TEST(FrameKeyTest, EverythingElseDrawnChangesTheFrame) {
    using Change = void (*)(Frame&);
    const Change changes[] = {
        [](Frame& f) { f.state.statusText = L"Ready."; },
        [](Frame& f) { f.state.versionText = L"Current Version : 2"; },
        [](Frame& f) { f.state.progress = 40; },
        [](Frame& f) { f.state.serverStatusText = kServerOnlineText; },
        [](Frame& f) { f.buttons[0].enabled = false; },
        [](Frame& f) { f.buttons[3].hovered = true; },
        [](Frame& f) { f.buttons[5].pressed = true; },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        Frame frame;
        FrameKey before = frame.Key();
        changes[i](frame);
        EXPECT_NE(frame.Key(), before);
    }
}

TEST(FrameKeyTest, ServerTextCountsOnlyThroughTheOnlineTest) {
    Frame frame;
    FrameKey before = frame.Key();
    frame.state.serverStatusText = L"Server Status : online";
    EXPECT_EQ(frame.Key(), before);
}

}  // namespace
}  // namespace ombrelta
