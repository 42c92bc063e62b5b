#include "ui/MainWindow.h"

#include <algorithm>

#include "ui/DetailsLine.h"
#include "ui/ProgressBarPlan.h"

namespace ombrelta {
namespace {

void DrawSkinText(Gdiplus::GpGraphics* graphics, const std::wstring& text, const TextBox& box, INT formatFlags = 0) {
    FontFamilyPtr family = CreateSkinFontFamily();
    if (!family)
        return;
    Gdiplus::GpFont* createdFont = nullptr;
    gdip::GdipCreateFont(family.get(), box.emSize, Gdiplus::FontStyleBold, Gdiplus::UnitPixel, &createdFont);
    FontPtr font(createdFont);
    BrushPtr brush = CreateArgbBrush(box.argb);
    Gdiplus::GpStringFormat* createdFormat = nullptr;
    gdip::GdipCreateStringFormat(formatFlags, LANG_NEUTRAL, &createdFormat);
    StringFormatPtr format(createdFormat);
    if (!font || !brush || !format)
        return;
    gdip::GdipSetStringFormatAlign(
        format.get(), box.centred ? Gdiplus::StringAlignmentCenter : Gdiplus::StringAlignmentNear);
    gdip::GdipSetStringFormatLineAlign(format.get(), Gdiplus::StringAlignmentCenter);
    Gdiplus::RectF layout(box.x, box.y, box.width, box.height);
    gdip::GdipDrawString(graphics, text.c_str(), -1, font.get(), &layout, format.get(), brush.get());
}

void FillArgbRect(Gdiplus::GpGraphics* graphics, Gdiplus::ARGB argb, int x, int y, int width, int height) {
    BrushPtr brush = CreateArgbBrush(argb);
    if (brush)
        gdip::GdipFillRectangleI(graphics, brush.get(), x, y, width, height);
}

}  // namespace

void MainWindow::OnPaint() {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(hwnd, &paint);
    RECT client{};
    GetClientRect(hwnd, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    if (PaintIndicatorPatch(dc, paint.rcPaint, width, height)) {
        EndPaint(hwnd, &paint);
        return;
    }
    // Every frame overwrites the whole buffer, so one buffer serves every paint; the full
    // repaint keeps to a fresh buffer per frame.
    if (paintMode == PaintMode::FullRepaint || !frameBuffer || frameBuffer->Width() != width ||
        frameBuffer->Height() != height)
        frameBuffer = std::make_unique<MemoryCanvas>(dc, width, height);
    if (frameBuffer->Valid()) {
        // The pulse invalidates only the indicator; the rest of the screen is right already.
        RECT area = paintMode == PaintMode::FullRepaint ? client : paint.rcPaint;
        ComposeFrame(frameBuffer->Dc(), width, height, area);
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, frameBuffer->Dc(),
               area.left, area.top, SRCCOPY);
    }
    if (paintMode == PaintMode::FullRepaint)
        frameBuffer.reset();
    EndPaint(hwnd, &paint);
}

bool MainWindow::PaintIndicatorPatch(HDC dc, const RECT& area, int width, int height) {
    const PixelRect& patch = kIndicatorPatch;
    if (paintMode == PaintMode::FullRepaint || !background || !frameBuffer || !frameBuffer->Valid() ||
        frameBuffer->Width() != width || frameBuffer->Height() != height ||
        !Covers(patch, area.left, area.top, area.right, area.bottom) ||
        !RefreshStaticFrame(frameBuffer->Dc(), width, height))
        return false;
    if (!patchStrip)
        patchStrip = std::make_unique<MemoryCanvas>(dc, patch.width * static_cast<int>(IndicatorPatches::kSlots),
                                                    patch.height);
    if (!patchStrip->Valid())
        return false;
    std::uint32_t colour = IndicatorColour(state);
    std::optional<std::size_t> slot = patchSlots.Find(colour);
    if (!slot) {
        slot = patchSlots.Claim(colour);
        if (!slot)
            return false;
        // Composed exactly as a frame composes it, then kept for this colour.
        RECT whole{patch.x, patch.y, patch.x + patch.width, patch.y + patch.height};
        ComposeFrame(frameBuffer->Dc(), width, height, whole);
        BitBlt(patchStrip->Dc(), static_cast<int>(*slot) * patch.width, 0, patch.width, patch.height,
               frameBuffer->Dc(), patch.x, patch.y, SRCCOPY);
    }
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, patchStrip->Dc(),
           static_cast<int>(*slot) * patch.width + area.left - patch.x, area.top - patch.y, SRCCOPY);
    return true;
}

void MainWindow::ComposeFrame(HDC target, int width, int height, const RECT& area) {
    if (!background) {
        HBRUSH brush = ::CreateSolidBrush(
            RGB(kBackgroundFallbackRgb[0], kBackgroundFallbackRgb[1], kBackgroundFallbackRgb[2]));
        RECT all{0, 0, width, height};
        ::FillRect(target, &all, brush);
        DeleteObject(brush);
        return;
    }
    if (paintMode == PaintMode::FullRepaint || !RefreshStaticFrame(target, width, height)) {
        // A reused buffer still holds the last frame; start from black like a new bitmap.
        PatBlt(target, 0, 0, width, height, BLACKNESS);
        ComposeLayers(target, width, height, true);
        return;
    }
    // Nothing drawn after the indicator overlaps it, so the kept frame plus the indicator on
    // top is the very picture that drawing everything in order gives.
    BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, staticFrame->Dc(),
           area.left, area.top, SRCCOPY);
    if (GraphicsPtr graphics = CreateSkinGraphics(target))
        DrawIndicator(graphics.get());
}

bool MainWindow::RefreshStaticFrame(HDC reference, int width, int height) {
    auto states = ButtonStates();
    std::array<const ButtonState*, kButtonCount> looks{};
    std::copy(states.begin(), states.end(), looks.begin());
    FrameKey key = MakeFrameKey(state, looks);
    bool sameSize = staticFrame && staticFrame->Width() == width && staticFrame->Height() == height;
    if (sameSize && key == staticFrameKey)
        return true;
    auto frame = std::make_unique<MemoryCanvas>(reference, width, height);
    if (!frame->Valid())
        return false;
    ComposeLayers(frame->Dc(), width, height, false);
    staticFrame = std::move(frame);
    staticFrameKey = std::move(key);
    patchSlots.Clear();
    return true;
}

void MainWindow::ComposeLayers(HDC target, int width, int height, bool withIndicator) {
    GraphicsPtr graphics = CreateSkinGraphics(target);
    if (!graphics)
        return;
    DrawBackground(target, graphics.get(), width, height);
    DrawSkinText(graphics.get(), state.versionText, kVersionTextBox);
    if (withIndicator)
        DrawIndicator(graphics.get());
    bool online = IsOnline(state.serverStatusText);
    DrawSkinText(graphics.get(), online ? kOnlineLabel : kOfflineLabel,
                 online ? kOnlineLabelBox : kOfflineLabelBox);

    Gdiplus::GpPen* createdPen = nullptr;
    gdip::GdipCreatePen1(kSeparatorArgb, kSeparatorWidth, Gdiplus::UnitWorld, &createdPen);
    PenPtr pen(createdPen);
    if (pen)
        gdip::GdipDrawLineI(graphics.get(), pen.get(), kSeparatorX1, kSeparatorY, kSeparatorX2, kSeparatorY);

    DrawSkinText(graphics.get(), state.statusText, kStatusTextBox);
    // One line, cut at its box rather than wrapped onto the status line or the bar.
    if (!state.detailsText.empty())
        DrawSkinText(graphics.get(), state.detailsText, kDetailsTextBox, Gdiplus::StringFormatFlagsNoWrap);
    DrawProgressBar(graphics.get());
    for (const ImageButton& button : buttons)
        button.Draw(graphics.get());
}

void MainWindow::DrawIndicator(Gdiplus::GpGraphics* graphics) const {
    if (BrushPtr dot = CreateArgbBrush(IndicatorColour(state)))
        gdip::GdipFillEllipseI(graphics, dot.get(), kIndicatorRect.x, kIndicatorRect.y, kIndicatorRect.width,
                               kIndicatorRect.height);
}

void MainWindow::DrawBackground(HDC target, Gdiplus::GpGraphics* graphics, int width, int height) {
    if (paintMode == PaintMode::FullRepaint) {
        gdip::GdipDrawImageRectI(graphics, background.get(), 0, 0, width, height);
        return;
    }
    // Scaling the picture is by far the dearest part of a frame and its result never changes,
    // so it is done once on a blank canvas like the frame buffer and copied from then on.
    if (!backgroundCache || backgroundCache->Width() != width || backgroundCache->Height() != height) {
        auto cache = std::make_unique<MemoryCanvas>(target, width, height);
        GraphicsPtr cacheGraphics = cache->Valid() ? CreateSkinGraphics(cache->Dc()) : nullptr;
        if (!cacheGraphics) {
            gdip::GdipDrawImageRectI(graphics, background.get(), 0, 0, width, height);
            return;
        }
        gdip::GdipDrawImageRectI(cacheGraphics.get(), background.get(), 0, 0, width, height);
        backgroundCache = std::move(cache);
    }
    // GDI+ may hold drawing back until its graphics object flushes; GDI must not overtake it.
    gdip::GdipFlush(graphics, Gdiplus::FlushIntentionSync);
    BitBlt(target, 0, 0, width, height, backgroundCache->Dc(), 0, 0, SRCCOPY);
}

void MainWindow::DrawProgressBar(Gdiplus::GpGraphics* graphics) const {
    const PixelRect& bar = kProgressBarRect;
    ProgressBarPlan plan = PlanProgressBar(state.progress, loadingComplete != nullptr, loadingBack != nullptr,
                                           loadingFill != nullptr);
    if (plan.completeImage) {
        gdip::GdipDrawImageRectI(graphics, loadingComplete.get(), bar.x, bar.y, bar.width, bar.height);
        return;
    }
    if (plan.backImage)
        gdip::GdipDrawImageRectI(graphics, loadingBack.get(), bar.x, bar.y, bar.width, bar.height);
    else
        FillArgbRect(graphics, kBarBackFallbackArgb, bar.x, bar.y, bar.width, bar.height);
    if (plan.fillWidth <= 0)
        return;
    if (plan.fillImage)
        gdip::GdipDrawImageRectRectI(graphics, loadingFill.get(), bar.x, bar.y, plan.fillWidth, bar.height, 0,
                                     0, plan.fillWidth, bar.height, Gdiplus::UnitPixel, nullptr, nullptr,
                                     nullptr);
    else
        FillArgbRect(graphics, kBarFillFallbackArgb, bar.x, bar.y, plan.fillWidth, bar.height);
}

}  // namespace ombrelta
