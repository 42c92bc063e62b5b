#pragma once

// GDI+ flat interface with owners for its objects. Only the Windows files of the window include
// this header.

// GDI+ needs these two first, in this order.
#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include <memory>
#include <string>

namespace ombrelta {

namespace gdip = Gdiplus::DllExports;

template <typename T, auto Release>
struct GdipDeleter {
    void operator()(T* object) const { Release(object); }
};

using ImagePtr = std::unique_ptr<Gdiplus::GpImage, GdipDeleter<Gdiplus::GpImage, gdip::GdipDisposeImage>>;
using GraphicsPtr =
    std::unique_ptr<Gdiplus::GpGraphics, GdipDeleter<Gdiplus::GpGraphics, gdip::GdipDeleteGraphics>>;
using BrushPtr = std::unique_ptr<Gdiplus::GpBrush, GdipDeleter<Gdiplus::GpBrush, gdip::GdipDeleteBrush>>;
using PenPtr = std::unique_ptr<Gdiplus::GpPen, GdipDeleter<Gdiplus::GpPen, gdip::GdipDeletePen>>;
using FontPtr = std::unique_ptr<Gdiplus::GpFont, GdipDeleter<Gdiplus::GpFont, gdip::GdipDeleteFont>>;
using FontFamilyPtr =
    std::unique_ptr<Gdiplus::GpFontFamily, GdipDeleter<Gdiplus::GpFontFamily, gdip::GdipDeleteFontFamily>>;
using StringFormatPtr = std::unique_ptr<Gdiplus::GpStringFormat,
                                        GdipDeleter<Gdiplus::GpStringFormat, gdip::GdipDeleteStringFormat>>;
using ImageAttributesPtr =
    std::unique_ptr<Gdiplus::GpImageAttributes,
                    GdipDeleter<Gdiplus::GpImageAttributes, gdip::GdipDisposeImageAttributes>>;

/// Decodes a picture file; null when the file is missing or cannot be decoded (the picture then
/// counts as absent wherever it is used).
ImagePtr LoadSkinImage(const std::wstring& path);

/// A GDI+ drawing surface on a device context with the launcher's quality settings (bicubic
/// scaling, anti-aliased shapes); null when GDI+ refuses the context.
GraphicsPtr CreateSkinGraphics(HDC dc);

/// The skin font's family: the first of kFontFamilies that is installed, else the generic
/// sans-serif family; null when even that fails (texts are then not drawn).
FontFamilyPtr CreateSkinFontFamily();

/// A solid brush of an ARGB colour; null when GDI+ fails.
BrushPtr CreateArgbBrush(Gdiplus::ARGB argb);

/// An off-screen GDI bitmap of a given size selected into its own memory context, compatible
/// with a reference context; everything is released on destruction.
class MemoryCanvas {
public:
    MemoryCanvas(HDC reference, int width, int height);
    ~MemoryCanvas();
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    /// False when the context or the bitmap could not be created.
    bool Valid() const { return dc != nullptr && bitmap != nullptr; }
    HDC Dc() const { return dc; }
    int Width() const { return width; }
    int Height() const { return height; }

private:
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    int width = 0;
    int height = 0;
};

}  // namespace ombrelta
