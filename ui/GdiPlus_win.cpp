#include "ui/GdiPlus.h"

#include "ui/Layout.h"

namespace ombrelta {

ImagePtr LoadSkinImage(const std::wstring& path) {
    Gdiplus::GpImage* image = nullptr;
    Gdiplus::GpStatus status = gdip::GdipLoadImageFromFile(path.c_str(), &image);
    ImagePtr owned(image);
    if (status != Gdiplus::Ok)
        return nullptr;
    return owned;
}

GraphicsPtr CreateSkinGraphics(HDC dc) {
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gdip::GdipCreateFromHDC(dc, &graphics) != Gdiplus::Ok)
        return nullptr;
    GraphicsPtr owned(graphics);
    gdip::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
    gdip::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
    return owned;
}

FontFamilyPtr CreateSkinFontFamily() {
    Gdiplus::GpFontFamily* family = nullptr;
    for (const wchar_t* name : kFontFamilies) {
        if (gdip::GdipCreateFontFamilyFromName(name, nullptr, &family) == Gdiplus::Ok)
            return FontFamilyPtr(family);
    }
    if (gdip::GdipGetGenericFontFamilySansSerif(&family) == Gdiplus::Ok)
        return FontFamilyPtr(family);
    return nullptr;
}

BrushPtr CreateArgbBrush(Gdiplus::ARGB argb) {
    Gdiplus::GpSolidFill* fill = nullptr;
    if (gdip::GdipCreateSolidFill(argb, &fill) != Gdiplus::Ok)
        return nullptr;
    return BrushPtr(fill);
}

MemoryCanvas::MemoryCanvas(HDC reference, int width, int height) : width(width), height(height) {
    dc = CreateCompatibleDC(reference);
    if (dc == nullptr)
        return;
    bitmap = CreateCompatibleBitmap(reference, width, height);
    if (bitmap != nullptr)
        previous = SelectObject(dc, bitmap);
}

MemoryCanvas::~MemoryCanvas() {
    if (previous != nullptr)
        SelectObject(dc, previous);
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    if (dc != nullptr)
        DeleteDC(dc);
}

}  // namespace ombrelta
