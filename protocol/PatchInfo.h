#pragma once

#include <cstdint>
#include <string>

namespace ombrelta {

/// One patch as the server describes it.
struct PatchInfo {
    bool found = false;
    std::uint16_t version = 0;
    /// The record's second 16-bit value, kept as received; the launcher gives it no meaning.
    std::uint16_t extraValue = 0;
    std::string fileName;  // UTF-8
    std::uint32_t size = 0;
};

}  // namespace ombrelta
