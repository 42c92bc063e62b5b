#include "tools/server/StandardError.h"

#include <unistd.h>
#include <cerrno>

namespace ombrelta::server {

void WriteStandardError(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t put = ::write(STDERR_FILENO, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

}  // namespace ombrelta::server
