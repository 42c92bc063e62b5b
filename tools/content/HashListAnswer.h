#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ombrelta {

/// One entry of the hash list answer.
struct HashListItem {
    std::uint8_t id = 0;
    std::string path;
    std::string hash;
    std::int64_t size = 0;
};

/// Hash list answer payload. Throws std::runtime_error when the list cannot travel in one packet
/// (more than 255 entries, a path or hash over 255 bytes, more than 65533 bytes).
std::vector<std::uint8_t> HashListAnswer(std::span<const HashListItem> items);

}  // namespace ombrelta
