#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ombrelta {

/// SHA-256 computed with the processor's SHA extensions (x86), for hosts whose system provider
/// lacks them: Wine's is several times slower than these instructions, which matters when whole
/// game files are checked.
class Sha256Instructions {
public:
    /// Whether this processor has the instructions; nothing else may be used when it does not.
    static bool Available();

    void Update(const std::uint8_t* data, std::size_t size);
    /// The digest of everything added; the object is spent afterwards.
    std::array<std::uint8_t, 32> Finish();

private:
    std::array<std::uint32_t, 8> state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> pending{};
    std::size_t pendingSize = 0;
    std::uint64_t totalSize = 0;
};

}  // namespace ombrelta
