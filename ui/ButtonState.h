#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace ombrelta {

/// Where a skinned button lies and how it is drawn; the images and the action live elsewhere.
struct ButtonState {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    bool hovered = false;
    bool pressed = false;
    bool enabled = true;
};

/// Sets the rectangle (right = left + width, bottom = top + height) and clears hovered and
/// pressed; enabled stays as it was.
void PlaceButton(ButtonState& button,
                 std::int32_t left,
                 std::int32_t top,
                 std::int32_t width,
                 std::int32_t height);

/// True when left <= x <= right and top <= y <= bottom (both edges belong to the button).
bool Contains(const ButtonState& button, std::int32_t x, std::int32_t y);

/// Follows the pointer: an enabled button hovers while the point is inside, a disabled one
/// never hovers or stays pressed. True when the button's look changed.
bool UpdateHover(ButtonState& button, std::int32_t x, std::int32_t y);

/// Clears hovered, pressed and enabled.
void DisableButton(ButtonState& button);

/// Presses the first enabled button (in the given order) that contains the point and returns
/// its index; nothing when no button takes the press (the press then drags the window).
std::optional<std::size_t> PressButtons(std::span<ButtonState* const> buttons,
                                        std::int32_t x,
                                        std::int32_t y);

/// A pointer position in client pixels.
struct PointerPosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

/// The position a mouse message carries: x the low and y the high 16 bits of lParam, both taken
/// as unsigned. A captured pointer left of or above the window has negative coordinates; they
/// come out as values of 32768 and more, so such a point lies outside every button.
PointerPosition PointerFromMessage(std::uint32_t lParam);

/// Clears the pressed flag of every button, as when the window lost the mouse capture and will
/// not see the release; true when one was pressed (the window repaints).
bool ClearPresses(std::span<ButtonState* const> buttons);

/// Ends hover on every button, as when the pointer has left the window; true when one hovered.
bool ClearHovers(std::span<ButtonState* const> buttons);

/// What a mouse release did.
struct ReleaseResult {
    /// A pressed button was released; the window repaints.
    bool released = false;
    /// The release lay inside that button: its action runs.
    bool clicked = false;
    /// Index of the released button.
    std::size_t index = 0;
};

/// Clears the pressed flag of every disabled button up to the first enabled, pressed one, and
/// releases that one.
ReleaseResult ReleaseButtons(std::span<ButtonState* const> buttons, std::int32_t x, std::int32_t y);

}  // namespace ombrelta
