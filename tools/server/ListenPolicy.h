#pragma once

namespace ombrelta::server {

/// Whether the listening socket sets SO_REUSEADDR. On POSIX it lets a restarted server bind while
/// old connections linger in TIME_WAIT; on Windows it would let a second server take the same
/// port, so there it stays off. Never fails.
bool ReuseListenAddress();

}  // namespace ombrelta::server
