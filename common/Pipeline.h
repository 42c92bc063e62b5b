#pragma once

namespace ombrelta {

/// Chunk requests a download keeps in flight (`pipeline`): a fixed count, or, automatic, as many
/// as a window that sizes itself to the line holds (protocol/ChunkWindow.h).
class Pipeline {
public:
    /// A fixed count; 1 or less waits for every answer. Implicit, so that a count reads as
    /// itself.
    constexpr Pipeline(int count = 1) : count(count) {}

    /// The window that sizes itself to the line (`pipeline=auto`).
    static constexpr Pipeline Auto() {
        Pipeline automatic;
        automatic.sizesItself = true;
        return automatic;
    }

    constexpr bool IsAuto() const { return sizesItself; }
    /// The fixed count; of no meaning when IsAuto.
    constexpr int Count() const { return count; }
    /// Whether requests go out ahead of the answers: automatic, or a count above 1.
    constexpr bool AsksAhead() const { return sizesItself || count > 1; }

    constexpr bool operator==(const Pipeline&) const = default;

private:
    int count = 1;
    bool sizesItself = false;
};

}  // namespace ombrelta
