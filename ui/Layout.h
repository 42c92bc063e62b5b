#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ombrelta {

constexpr std::int32_t kWindowWidth = 1080;
constexpr std::int32_t kWindowHeight = 607;

/// Window class of the launcher window; a second launcher finds the first by it.
inline constexpr wchar_t kWindowClassName[] = L"OmbreltaLauncherWindow";
/// Title of the launcher window and caption of its message boxes.
inline constexpr wchar_t kLauncherTitle[] = L"Ombrelta Launcher";
/// Window class of the splash picture.
inline constexpr wchar_t kSplashClassName[] = L"OmbreltaLaunchSplashWindow";
/// Named mutex that keeps the launcher to one instance per logon session.
inline constexpr wchar_t kSingleInstanceMutexName[] = L"Local\\OmbreltaLauncherCpp_SingleInstance";
/// Resource id of the launcher's icon.
constexpr int kIconResourceId = 101;

/// Top-left corner of a window.
struct WindowOrigin {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

/// Places a width x height window in the middle of the screen; the halves truncate toward zero,
/// so a window larger than the screen gets a negative origin.
WindowOrigin CentredOrigin(std::int32_t screenWidth,
                           std::int32_t screenHeight,
                           std::int32_t width,
                           std::int32_t height);

/// installDir + "data2\Ombrelta\" + name: where the skin pictures lie.
std::wstring SkinImagePath(std::wstring_view installDir, std::wstring_view name);

/// The six buttons, in the order in which they are created, drawn and hit-tested.
enum class ButtonId { Start, Minimise, Exit, WhatsApp, Facebook, Discord };
constexpr std::size_t kButtonCount = 6;

/// One button of the skin: its picture names stem + "1.png" (normal), "2.png" (hover) and
/// "3.png" (pressed), and its rectangle.
struct ButtonLayout {
    ButtonId id;
    const wchar_t* imageStem;
    std::int32_t left;
    std::int32_t top;
    std::int32_t width;
    std::int32_t height;
};

inline constexpr std::array<ButtonLayout, kButtonCount> kButtonLayouts{{
    {ButtonId::Start, L"IMAGE_BUTTONSTART", 395, 470, 250, 50},
    {ButtonId::Minimise, L"IMAGE_MIN", 975, 32, 28, 18},
    {ButtonId::Exit, L"IMAGE_EXIT", 1015, 22, 35, 35},
    {ButtonId::WhatsApp, L"IMAGE_BUTTONFUN3", 845, 22, 30, 30},
    {ButtonId::Facebook, L"IMAGE_BUTTONFUN1", 885, 22, 30, 30},
    {ButtonId::Discord, L"IMAGE_BUTTONFUN2", 925, 22, 30, 30},
}};

/// The picture name of a button in one state: 1 normal, 2 hover, 3 pressed.
std::wstring ButtonImageName(const ButtonLayout& layout, int state);

inline constexpr wchar_t kBackgroundImage[] = L"IMAGE_BACKGROUNDPIC.png";
inline constexpr wchar_t kLoadingBackImage[] = L"IMAGE_LOADINGBACK.png";
inline constexpr wchar_t kLoadingFillImage[] = L"IMAGE_LOADING1.png";
inline constexpr wchar_t kLoadingCompleteImage[] = L"IMAGE_LOADING2.png";
inline constexpr wchar_t kSplashImage[] = L"Ombrelta.png";

/// A text drawn into a layout rectangle in the bold skin font.
struct TextBox {
    float x;
    float y;
    float width;
    float height;
    float emSize;
    std::uint32_t argb;
    bool centred;  // horizontally; every text is centred vertically
};

/// The skin font: the first of these families that the system has. Windows has "Segoe UI"; Wine
/// brings Tahoma, and a Linux system usually DejaVu Sans.
inline constexpr std::array<const wchar_t*, 5> kFontFamilies{
    L"Segoe UI", L"Tahoma", L"Microsoft Sans Serif", L"Arial", L"DejaVu Sans"};
inline constexpr TextBox kVersionTextBox{385, 365, 155, 20, 12, 0xFFEEE8AA, true};
inline constexpr TextBox kStatusTextBox{390, 397, 300, 24, 13, 0xFFEEE8AA, true};
inline constexpr TextBox kOnlineLabelBox{583, 364, 90, 20, 12, 0xFFD2FFDC, false};
inline constexpr TextBox kOfflineLabelBox{583, 364, 90, 20, 12, 0xFFFF5A5A, false};
inline constexpr wchar_t kOnlineLabel[] = L"ONLINE";
inline constexpr wchar_t kOfflineLabel[] = L"OFFLINE";

/// A plain rectangle in client pixels.
struct PixelRect {
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
};

/// True when the rectangle from (left, top) up to, not including, (right, bottom) lies in area.
bool Covers(const PixelRect& area, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

inline constexpr PixelRect kIndicatorRect{565, 367, 14, 14};
/// What a pulse step repaints: the indicator with one pixel around it for its anti-aliased edge.
inline constexpr PixelRect kIndicatorPatch{564, 366, 16, 16};
inline constexpr std::uint32_t kIndicatorOfflineArgb = 0xFFDC2828;
inline constexpr std::int32_t kSeparatorX1 = 400;
inline constexpr std::int32_t kSeparatorX2 = 680;
inline constexpr std::int32_t kSeparatorY = 391;
inline constexpr float kSeparatorWidth = 1.0f;
inline constexpr std::uint32_t kSeparatorArgb = 0x6ED2B450;
inline constexpr PixelRect kProgressBarRect{390, 440, 300, 16};
inline constexpr std::uint32_t kBarBackFallbackArgb = 0xA0141414;
inline constexpr std::uint32_t kBarFillFallbackArgb = 0xFFEBBE5A;
/// Background colour when the background picture is missing, as red, green, blue.
inline constexpr std::uint8_t kBackgroundFallbackRgb[3] = {35, 38, 45};

/// Alpha factor of a disabled button's picture.
inline constexpr float kDisabledAlpha = 0.45f;

}  // namespace ombrelta
