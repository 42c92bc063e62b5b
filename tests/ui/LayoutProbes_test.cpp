#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "ui/DetailsLine.h"
#include "ui/Layout.h"
#include "ui/WindowState.h"

namespace ombrelta {
namespace {

using Values = std::vector<std::int32_t>;

// The arrays of ui/layout-probes.sh by name, one "name=(1 2 3)" a line.
std::map<std::string, Values> ReadProbes() {
    std::istringstream lines(test::ReadFileBytes(test::TestDataDir() + L"../../ui/layout-probes.sh"));
    std::map<std::string, Values> probes;
    for (std::string line; std::getline(lines, line);) {
        std::size_t open = line.find("=(");
        if (line.starts_with('#') || open == std::string::npos)
            continue;
        std::istringstream numbers(line.substr(open + 2, line.find(')') - open - 2));
        Values& values = probes[line.substr(0, open)];
        for (std::int32_t n; numbers >> n;)
            values.push_back(n);
    }
    return probes;
}

PixelRect ButtonRect(ButtonId id) {
    const ButtonLayout& b = kButtonLayouts[static_cast<std::size_t>(id)];
    return {b.left, b.top, b.width, b.height};
}

Values BoxValues(const TextBox& box) {
    return {static_cast<std::int32_t>(box.x), static_cast<std::int32_t>(box.y),
            static_cast<std::int32_t>(box.width), static_cast<std::int32_t>(box.height)};
}

Values Rgb(std::uint32_t argb) {
    return {static_cast<std::int32_t>(argb >> 16 & 0xFF), static_cast<std::int32_t>(argb >> 8 & 0xFF),
            static_cast<std::int32_t>(argb & 0xFF)};
}

TEST(LayoutProbesTest, PointsLieInTheirParts) {
    auto probes = ReadProbes();
    // The indicator's point keeps to the middle half, clear of the anti-aliased edge.
    const PixelRect indicatorMiddle{kIndicatorRect.x + kIndicatorRect.width / 4,
                                    kIndicatorRect.y + kIndicatorRect.height / 4, kIndicatorRect.width / 2,
                                    kIndicatorRect.height / 2};
    const struct {
        const char* name;
        PixelRect part;
    } rows[] = {
        {"start_point", ButtonRect(ButtonId::Start)},   {"minimise_point", ButtonRect(ButtonId::Minimise)},
        {"exit_point", ButtonRect(ButtonId::Exit)},     {"whatsapp_point", ButtonRect(ButtonId::WhatsApp)},
        {"indicator_point", indicatorMiddle},           {"bar_point", kProgressBarRect},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Values& point = probes[row.name];
        ASSERT_EQ(point.size(), 2u);
        EXPECT_TRUE(Covers(row.part, point[0], point[1], point[0] + 1, point[1] + 1));
    }
}

TEST(LayoutProbesTest, RectanglesMatchTheLayout) {
    auto probes = ReadProbes();
    EXPECT_EQ(probes["launcher_window_size"], (Values{kWindowWidth, kWindowHeight}));
    EXPECT_EQ(probes["version_box"], BoxValues(kVersionTextBox));
    EXPECT_EQ(probes["status_box"], BoxValues(kStatusTextBox));
    EXPECT_EQ(probes["details_box"], BoxValues(kDetailsTextBox));
    const Values& mask = probes["indicator_mask"];
    ASSERT_EQ(mask.size(), 4u);
    const PixelRect& patch = kIndicatorPatch;
    EXPECT_TRUE(Covers({mask[0], mask[1], mask[2], mask[3]}, patch.x, patch.y, patch.x + patch.width,
                       patch.y + patch.height));
}

TEST(LayoutProbesTest, IndicatorColoursAreThePaintedOnes) {
    auto probes = ReadProbes();
    WindowState state;
    EXPECT_EQ(probes["indicator_offline_rgb"], Rgb(IndicatorColour(state)));

    // One whole pulse cycle: the probe's range is exactly the range of the painted colours.
    state.serverStatusText = kServerOnlineText;
    Values low = Rgb(IndicatorColour(state)), high = low;
    for (int step = 0; step < 60; ++step) {
        StepPulse(state);
        Values rgb = Rgb(IndicatorColour(state));
        for (std::size_t i = 0; i < rgb.size(); ++i) {
            low[i] = std::min(low[i], rgb[i]);
            high[i] = std::max(high[i], rgb[i]);
        }
    }
    EXPECT_EQ(probes["indicator_online_low_rgb"], low);
    EXPECT_EQ(probes["indicator_online_high_rgb"], high);
}

}  // namespace
}  // namespace ombrelta
