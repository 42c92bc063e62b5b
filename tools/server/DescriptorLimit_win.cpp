#include "tools/server/DescriptorLimit.h"

namespace ombrelta::server {

// Windows sockets and files have no per-process count limit short of memory.
std::size_t RaiseDescriptorLimit() {
    return 16384;
}

}  // namespace ombrelta::server
