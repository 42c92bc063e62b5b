#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ombrelta {

/// Which colours of the pulsing indicator have a finished picture of its patch, and where: slot
/// i of a strip of patches. The pulse shows 26 colours, so after one cycle every pulse step is a
/// single copy. Cleared whenever the frame under the indicator changes.
class IndicatorPatches {
public:
    static constexpr std::size_t kSlots = 32;

    /// The slot that holds the colour; nothing when it has not been drawn since the last Clear.
    std::optional<std::size_t> Find(std::uint32_t argb) const;
    /// Takes the next free slot for the colour; nothing when every slot is taken.
    std::optional<std::size_t> Claim(std::uint32_t argb);
    /// Forgets every slot.
    void Clear() { colours.clear(); }

private:
    std::vector<std::uint32_t> colours;
};

}  // namespace ombrelta
