#include "ui/WindowState.h"

#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(WindowStateTest, StartsOfflineWithTheGreeting) {
    WindowState state;
    EXPECT_FALSE(state.checksReady);
    EXPECT_EQ(state.progress, 0);
    EXPECT_EQ(state.pulse, 0.0f);
    EXPECT_TRUE(state.pulseRising);
    EXPECT_EQ(state.statusText, L"Entering the World of Ombrelta...");
    EXPECT_EQ(state.versionText, L"Current Version : 1000");
    EXPECT_EQ(state.serverStatusText, L"Server Status : Offline");
}

TEST(WindowStateTest, VersionTextShowsTheSixteenBitValue) {
    EXPECT_EQ(FormatVersionText(0), L"Current Version : 0");
    EXPECT_EQ(FormatVersionText(7), L"Current Version : 7");
    EXPECT_EQ(FormatVersionText(static_cast<std::uint16_t>(70000)), L"Current Version : 4464");
    EXPECT_EQ(FormatVersionText(65535), L"Current Version : 65535");
}

TEST(WindowStateTest, OnlyTheExactReadyTextEnablesStart) {
    struct Row {
        const wchar_t* text;
        bool ready;
    };
    const Row rows[] = {
        {L"Ready.", true},   {L"ready.", false},  {L"Ready", false},
        {L" Ready.", false}, {L"Ready. ", false}, {L"READY.", false},
        {L"Ready..", false}, {L"", false},        {L"Checking patches...", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "text size " << std::wstring(row.text).size());
        WindowState state;
        ButtonState start;
        DisableButton(start);
        // The version line is read again exactly when the run reports "Ready.".
        EXPECT_EQ(ApplyProgress(state, start, ProgressMessage{row.text, 100}), row.ready);
        EXPECT_EQ(state.statusText, row.text);
        EXPECT_EQ(state.progress, 100);
        EXPECT_EQ(state.checksReady, row.ready);
        EXPECT_EQ(start.enabled, row.ready);
        EXPECT_EQ(state.serverStatusText, row.ready ? L"Server Status : Online" : L"Server Status : Offline");
    }
}

TEST(WindowStateTest, LaterReportsKeepOnlineAndMayEmptyTheBar) {
    WindowState state;
    ButtonState start;
    ApplyProgress(state, start, ProgressMessage{L"Ready.", 100});
    ApplyProgress(state, start, ProgressMessage{L"Checking files before start...", 0});
    EXPECT_EQ(state.progress, 0);
    EXPECT_EQ(state.statusText, L"Checking files before start...");
    EXPECT_EQ(state.serverStatusText, L"Server Status : Online");
}

TEST(WindowStateTest, FailureShowsOfflineAndDisablesStart) {
    WindowState state;
    ButtonState start;
    ApplyProgress(state, start, ProgressMessage{L"Ready.", 100});
    start.hovered = true;
    start.pressed = true;
    ApplyFailure(state, start);
    EXPECT_EQ(state.serverStatusText, L"Server Status : Offline");
    EXPECT_EQ(state.statusText, L"Startup check failed.");
    EXPECT_EQ(state.progress, 0);
    EXPECT_FALSE(state.checksReady);
    EXPECT_FALSE(start.enabled);
    EXPECT_FALSE(start.hovered);
    EXPECT_FALSE(start.pressed);
}

TEST(WindowStateTest, StartPressAndGameStart) {
    WindowState state;
    ButtonState start;
    ApplyProgress(state, start, ProgressMessage{L"Ready.", 100});
    start.hovered = true;
    start.pressed = true;
    ApplyStartPressed(state, start);
    EXPECT_FALSE(state.checksReady);
    EXPECT_FALSE(start.enabled);
    EXPECT_FALSE(start.hovered);
    EXPECT_FALSE(start.pressed);

    ApplyGameStarting(state, start);
    EXPECT_TRUE(state.checksReady);
    EXPECT_TRUE(start.enabled);
    EXPECT_EQ(state.statusText, L"Starting game...");
    EXPECT_EQ(state.progress, 100);
}

TEST(WindowStateTest, FailedGameStartNamesTheFailureAndKeepsStart) {
    struct Row {
        GameStartFailure failure;
        const wchar_t* status;
    };
    const Row rows[] = {
        {GameStartFailure::ExecutableMissing, L"Tarvesk.exe not found"},
        {GameStartFailure::ProcessNotCreated, L"Failed to start game."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(row.failure));
        WindowState state;
        ButtonState start;
        ApplyProgress(state, start, ProgressMessage{L"Ready.", 100});
        ApplyStartPressed(state, start);
        ApplyGameStarting(state, start);
        ApplyGameStartFailed(state, start, row.failure);
        EXPECT_EQ(state.statusText, row.status);
        EXPECT_TRUE(state.checksReady);
        EXPECT_TRUE(start.enabled);
        EXPECT_EQ(state.serverStatusText, L"Server Status : Online");
    }
}

TEST(WindowStateTest, OnlineTestIsCaseSensitiveSubstring) {
    EXPECT_TRUE(IsOnline(L"Server Status : Online"));
    EXPECT_TRUE(IsOnline(L"Online"));
    EXPECT_FALSE(IsOnline(L"Server Status : online"));
    EXPECT_FALSE(IsOnline(L"Server Status : Offline"));
    EXPECT_FALSE(IsOnline(L"Onlin"));
    EXPECT_FALSE(IsOnline(L""));
}

TEST(WindowStateTest, PulseRunsUpAndDownWhileOnline) {
    WindowState state;
    state.serverStatusText = kServerOnlineText;
    std::vector<float> seen;
    for (int i = 0; i < 52; ++i) {
        EXPECT_TRUE(StepPulse(state));
        seen.push_back(state.pulse);
    }
    EXPECT_EQ(seen[0], 4.0f);
    EXPECT_EQ(seen[23], 96.0f);
    EXPECT_EQ(seen[24], 100.0f);
    EXPECT_EQ(seen[25], 96.0f);
    EXPECT_EQ(seen[48], 4.0f);
    EXPECT_EQ(seen[49], 0.0f);
    EXPECT_EQ(seen[50], 4.0f);
    EXPECT_EQ(seen[51], 8.0f);
}

TEST(WindowStateTest, PulseRestsWhileOffline) {
    WindowState state;
    state.pulse = 40.0f;
    state.pulseRising = false;
    EXPECT_FALSE(StepPulse(state));
    EXPECT_EQ(state.pulse, 0.0f);
    EXPECT_TRUE(state.pulseRising);
}

TEST(WindowStateTest, IndicatorColour) {
    struct Row {
        const wchar_t* server;
        float pulse;
        std::uint32_t argb;
    };
    const Row rows[] = {
        {L"Server Status : Online", 0.0f, 0xFF007850},   {L"Server Status : Online", 100.0f, 0xFF00DC50},
        {L"Server Status : Online", 52.0f, 0xFF00AC50},  {L"Server Status : Online", 3.9f, 0xFF007B50},
        {L"Server Status : Offline", 52.0f, 0xFFDC2828}, {L"server status : online", 0.0f, 0xFFDC2828},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.pulse);
        WindowState state;
        state.serverStatusText = row.server;
        state.pulse = row.pulse;
        EXPECT_EQ(IndicatorColour(state), row.argb);
    }
}

TEST(WindowStateTest, StartupFailureText) {
    EXPECT_EQ(StartupFailureText(""), L"Startup check failed.");
    EXPECT_EQ(StartupFailureText("Failed to connect to launcher server."),
              L"Failed to connect to launcher server.");
    EXPECT_EQ(StartupFailureText("Cannot create local file: d\xC3\xA9j\xC3\xA0.pak"),
              L"Cannot create local file: d\u00E9j\u00E0.pak");
}

}  // namespace
}  // namespace ombrelta
