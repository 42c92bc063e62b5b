#pragma once

#include <asio.hpp>

namespace ombrelta::server {

/// Adds the signal that asks the server to reload its content (SIGHUP) to signals; false where
/// the system has no such signal (Windows), leaving signals as it was.
bool AddReloadSignal(asio::signal_set& signals);

}  // namespace ombrelta::server
