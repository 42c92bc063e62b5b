#include "common/ComputerName.h"

#include <windows.h>

#include <cstring>

namespace ombrelta {

std::optional<std::string> GetComputerNameNarrow() {
    char buffer[16] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameA(buffer, &size))
        return std::nullopt;
    const void* end = std::memchr(buffer, '\0', sizeof buffer);
    const std::size_t length = end ? static_cast<const char*>(end) - buffer : sizeof buffer;
    return std::string(buffer, length);
}

}  // namespace ombrelta
