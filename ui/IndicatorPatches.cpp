#include "ui/IndicatorPatches.h"

#include <algorithm>

namespace ombrelta {

std::optional<std::size_t> IndicatorPatches::Find(std::uint32_t argb) const {
    auto found = std::find(colours.begin(), colours.end(), argb);
    if (found == colours.end())
        return std::nullopt;
    return static_cast<std::size_t>(found - colours.begin());
}

std::optional<std::size_t> IndicatorPatches::Claim(std::uint32_t argb) {
    if (colours.size() >= kSlots)
        return std::nullopt;
    colours.push_back(argb);
    return colours.size() - 1;
}

}  // namespace ombrelta
