#pragma once

#include <functional>
#include <string>

#include "ui/ButtonState.h"
#include "ui/GdiPlus.h"

namespace ombrelta {

/// A skinned button: three pictures (normal, hover, pressed), a rectangle with hover and press
/// state, and the action a click runs.
class ImageButton {
public:
    /// Loads the three pictures (a missing one stays absent), places the button and stores the
    /// action; enabled stays as it was.
    void Setup(const std::wstring& normalPath,
               const std::wstring& hoverPath,
               const std::wstring& pressedPath,
               int left,
               int top,
               int width,
               int height,
               std::function<void()> action);

    /// Draws the picture for the current state; a disabled button shows its normal picture at
    /// 45 % opacity. Draws nothing when that picture is absent.
    void Draw(Gdiplus::GpGraphics* graphics) const;

    ButtonState state;
    std::function<void()> action;

private:
    void DrawFaded(Gdiplus::GpGraphics* graphics) const;

    ImagePtr normal;
    ImagePtr hover;
    ImagePtr pressed;
};

}  // namespace ombrelta
