#include "tools/server/DescriptorLimit.h"

#include <sys/resource.h>

namespace ombrelta::server {

std::size_t RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    // An unlimited hard limit still meets the kernel's own cap; a large count stands for it.
    return limit.rlim_cur == RLIM_INFINITY ? 1048576 : static_cast<std::size_t>(limit.rlim_cur);
}

}  // namespace ombrelta::server
