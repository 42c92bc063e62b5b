#include "ui/ImageButton.h"

#include "ui/Layout.h"

namespace ombrelta {

void ImageButton::Setup(const std::wstring& normalPath,
                        const std::wstring& hoverPath,
                        const std::wstring& pressedPath,
                        int left,
                        int top,
                        int width,
                        int height,
                        std::function<void()> clickAction) {
    normal.reset();
    hover.reset();
    pressed.reset();
    normal = LoadSkinImage(normalPath);
    hover = LoadSkinImage(hoverPath);
    pressed = LoadSkinImage(pressedPath);
    PlaceButton(state, left, top, width, height);
    action = std::move(clickAction);
}

void ImageButton::Draw(Gdiplus::GpGraphics* graphics) const {
    if (!state.enabled) {
        DrawFaded(graphics);
        return;
    }
    Gdiplus::GpImage* image = normal.get();
    if (state.pressed && pressed)
        image = pressed.get();
    else if (state.hovered && hover)
        image = hover.get();
    if (image == nullptr)
        return;
    gdip::GdipDrawImageRectI(graphics, image, state.left, state.top, state.right - state.left,
                             state.bottom - state.top);
}

void ImageButton::DrawFaded(Gdiplus::GpGraphics* graphics) const {
    if (!normal)
        return;
    Gdiplus::GpImageAttributes* created = nullptr;
    if (gdip::GdipCreateImageAttributes(&created) != Gdiplus::Ok)
        return;
    ImageAttributesPtr attributes(created);
    Gdiplus::ColorMatrix matrix{};
    for (int i = 0; i < 5; ++i)
        matrix.m[i][i] = 1.0f;
    matrix.m[3][3] = kDisabledAlpha;
    gdip::GdipSetImageAttributesColorMatrix(attributes.get(), Gdiplus::ColorAdjustTypeDefault, TRUE, &matrix,
                                            nullptr, Gdiplus::ColorMatrixFlagsDefault);
    UINT width = 0;
    UINT height = 0;
    gdip::GdipGetImageWidth(normal.get(), &width);
    gdip::GdipGetImageHeight(normal.get(), &height);
    gdip::GdipDrawImageRectRectI(graphics, normal.get(), state.left, state.top, state.right - state.left,
                                 state.bottom - state.top, 0, 0, static_cast<INT>(width),
                                 static_cast<INT>(height), Gdiplus::UnitPixel, attributes.get(), nullptr,
                                 nullptr);
}

}  // namespace ombrelta
