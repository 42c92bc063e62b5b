#include "config/LauncherConfig.h"

#include <array>

namespace ombrelta {
namespace {

// The tool that writes "Ombrel.dat" uses these same values; changing one makes every existing
// file unreadable.
constexpr std::uint32_t kSeed = 0x4F4D4252;
constexpr std::uint8_t kKeyMask = 0x5A;
constexpr std::uint8_t kFirstMask = 0xA7;
constexpr std::uint8_t kSecondMask = 0x3C;
constexpr std::uint8_t kOffset = 0x29;
constexpr std::size_t kTableSize = 512;

using KeyTable = std::array<std::uint8_t, kTableSize>;

KeyTable BuildKeyTable() {
    KeyTable table{};
    std::uint32_t state = kSeed;
    for (std::uint8_t& entry : table) {
        // The rand() recurrence of the Microsoft C run-time library.
        state = state * 214013u + 2531011u;
        std::uint32_t output = (state >> 16) & 0x7FFF;
        entry = static_cast<std::uint8_t>((output % 256) ^ kKeyMask);
    }
    return table;
}

// Built once per process; a function-local static is initialised safely even when several
// threads get here first at the same time.
const KeyTable& ConfigKeyTable() {
    static const KeyTable table = BuildKeyTable();
    return table;
}

}  // namespace

void UnscrambleConfig(std::vector<std::uint8_t>& bytes) {
    const KeyTable& table = ConfigKeyTable();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::uint8_t b = bytes[i];
        b ^= kFirstMask;
        b ^= table[i & (kTableSize - 1)];
        b ^= kSecondMask;
        bytes[i] = static_cast<std::uint8_t>(b - kOffset);
    }
}

void ScrambleConfig(std::vector<std::uint8_t>& bytes) {
    const KeyTable& table = ConfigKeyTable();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<std::uint8_t>(bytes[i] + kOffset);
        b ^= kSecondMask;
        b ^= table[i & (kTableSize - 1)];
        bytes[i] = static_cast<std::uint8_t>(b ^ kFirstMask);
    }
}

}  // namespace ombrelta
