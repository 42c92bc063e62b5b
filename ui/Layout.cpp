#include "ui/Layout.h"

namespace ombrelta {

WindowOrigin CentredOrigin(std::int32_t screenWidth,
                           std::int32_t screenHeight,
                           std::int32_t width,
                           std::int32_t height) {
    return WindowOrigin{(screenWidth - width) / 2, (screenHeight - height) / 2};
}

bool Covers(const PixelRect& area, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    return area.x <= left && left <= right && right <= area.x + area.width && area.y <= top && top <= bottom &&
           bottom <= area.y + area.height;
}

std::wstring SkinImagePath(std::wstring_view installDir, std::wstring_view name) {
    std::wstring path(installDir);
    path += L"data2\\Ombrelta\\";
    path += name;
    return path;
}

std::wstring ButtonImageName(const ButtonLayout& layout, int state) {
    return layout.imageStem + std::to_wstring(state) + L".png";
}

}  // namespace ombrelta
