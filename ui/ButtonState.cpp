#include "ui/ButtonState.h"

namespace ombrelta {

void PlaceButton(ButtonState& button,
                 std::int32_t left,
                 std::int32_t top,
                 std::int32_t width,
                 std::int32_t height) {
    button.left = left;
    button.top = top;
    button.right = left + width;
    button.bottom = top + height;
    button.hovered = false;
    button.pressed = false;
}

bool Contains(const ButtonState& button, std::int32_t x, std::int32_t y) {
    return button.left <= x && x <= button.right && button.top <= y && y <= button.bottom;
}

bool UpdateHover(ButtonState& button, std::int32_t x, std::int32_t y) {
    if (!button.enabled) {
        bool changed = button.hovered || button.pressed;
        button.hovered = false;
        button.pressed = false;
        return changed;
    }
    // Pressed stays: a held button keeps its pressed look while the pointer wanders off.
    bool inside = Contains(button, x, y);
    bool changed = inside != button.hovered;
    button.hovered = inside;
    return changed;
}

void DisableButton(ButtonState& button) {
    button.hovered = false;
    button.pressed = false;
    button.enabled = false;
}

std::optional<std::size_t> PressButtons(std::span<ButtonState* const> buttons,
                                        std::int32_t x,
                                        std::int32_t y) {
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        ButtonState& button = *buttons[i];
        if (!button.enabled || !Contains(button, x, y))
            continue;
        button.pressed = true;
        return i;
    }
    return std::nullopt;
}

PointerPosition PointerFromMessage(std::uint32_t lParam) {
    return PointerPosition{.x = static_cast<std::int32_t>(lParam & 0xFFFF),
                           .y = static_cast<std::int32_t>((lParam >> 16) & 0xFFFF)};
}

bool ClearPresses(std::span<ButtonState* const> buttons) {
    bool changed = false;
    for (ButtonState* button : buttons) {
        changed = changed || button->pressed;
        button->pressed = false;
    }
    return changed;
}

bool ClearHovers(std::span<ButtonState* const> buttons) {
    bool changed = false;
    for (ButtonState* button : buttons) {
        changed = changed || button->hovered;
        button->hovered = false;
    }
    return changed;
}

ReleaseResult ReleaseButtons(std::span<ButtonState* const> buttons, std::int32_t x, std::int32_t y) {
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        ButtonState& button = *buttons[i];
        if (!button.enabled) {
            button.pressed = false;
            continue;
        }
        if (!button.pressed)
            continue;
        button.pressed = false;
        return ReleaseResult{.released = true, .clicked = Contains(button, x, y), .index = i};
    }
    return ReleaseResult{};
}

}  // namespace ombrelta
