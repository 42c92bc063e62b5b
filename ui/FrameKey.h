#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "ui/ButtonState.h"
#include "ui/Layout.h"
#include "ui/WindowState.h"

namespace ombrelta {

/// Everything a frame shows apart from the pulsing indicator. Two states with equal keys give
/// the same picture outside the indicator, so a frame drawn for one can be reused for the other.
struct FrameKey {
    std::wstring versionText;
    std::wstring statusText;
    std::wstring detailsText;
    std::int32_t progress = 0;
    bool online = false;
    std::array<bool, kButtonCount * 3> buttonLooks{};

    bool operator==(const FrameKey&) const = default;
};

/// The key of the window state and its buttons (hovered, pressed and enabled of each).
FrameKey MakeFrameKey(const WindowState& state, std::span<const ButtonState* const> buttons);

}  // namespace ombrelta
