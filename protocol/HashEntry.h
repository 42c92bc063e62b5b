#pragma once

#include <cstdint>
#include <string>

namespace ombrelta {

/// One game file of the server's hash list.
struct HashEntry {
    std::uint16_t id = 0;
    std::string path;  // UTF-8, relative, either separator
    std::string hash;  // expected MD5 as hex text
    std::uint32_t size = 0;
};

}  // namespace ombrelta
