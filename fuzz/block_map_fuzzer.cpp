// Feeds arbitrary bytes to the block map reader, which a launcher with `blockrepair` runs on what
// a mirror or a server sends. It must return, never crash or read outside the bytes
// (AddressSanitizer watches), and a map it accepts must write back to exactly the bytes it was
// given, so that one map has one spelling.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/BlockMap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (const std::optional<ombrelta::BlockMap> map = ombrelta::ParseBlockMap(bytes)) {
        const std::vector<std::uint8_t> written = ombrelta::WriteBlockMap(*map);
        if (!std::equal(written.begin(), written.end(), bytes.begin(), bytes.end()))
            __builtin_trap();
    }
    return 0;
}
