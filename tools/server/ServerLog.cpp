#include "tools/server/ServerLog.h"

#include <cstdio>

namespace ombrelta::server {

void ServerLog::Line(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace ombrelta::server
