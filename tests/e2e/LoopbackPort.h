#pragma once

#include <cstdint>

namespace ombrelta::test {

/// A port free right now on 127.0.0.1, for a program that cannot report one it picked itself
/// (HAProxy, Prometheus, nginx, Varnish); 0 when none can be found.
std::uint16_t FreePort();

/// True when a connection to 127.0.0.1:port is accepted right now.
bool Accepts(std::uint16_t port);

/// Waits until 127.0.0.1:port accepts a connection, at most 10 s; false when it does not.
bool WaitUntilListening(std::uint16_t port);

}  // namespace ombrelta::test
