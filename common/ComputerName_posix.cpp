#include "common/ComputerName.h"

#include <unistd.h>

#include <cstring>

namespace ombrelta {

std::optional<std::string> GetComputerNameNarrow() {
    // Same limit as the Windows side: 15 characters and the NUL in 16 bytes, else a failure.
    char buffer[16] = {};
    if (gethostname(buffer, sizeof buffer) != 0)
        return std::nullopt;
    // POSIX leaves it open whether a truncated name is terminated; require the NUL ourselves.
    const void* end = std::memchr(buffer, '\0', sizeof buffer);
    if (!end)
        return std::nullopt;
    return std::string(buffer, static_cast<const char*>(end) - buffer);
}

}  // namespace ombrelta
