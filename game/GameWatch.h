#pragma once

#include <cstdint>

// The decision the launcher takes on every tick of its game-watch timer (id 1, every 1000 ms).

namespace ombrelta {

/// Time a started game gets to appear in the process list before the watch may end the launcher.
constexpr std::uint32_t kGameWatchGraceMs = 10000;

/// Milliseconds from launchTick to now on a counter that wraps at 2^32 (unsigned difference).
constexpr std::uint32_t TicksSince(std::uint32_t launchTick, std::uint32_t now) {
    return now - launchTick;
}

/// True once kGameWatchGraceMs or more have passed since launchTick, across a counter wrap too.
constexpr bool GracePeriodOver(std::uint32_t launchTick, std::uint32_t now) {
    return TicksSince(launchTick, now) >= kGameWatchGraceMs;
}

/// True when the launcher should close itself: a game was started (running), its grace period is
/// over and no process of it is left (gameRunning false).
constexpr bool ShouldCloseAfterGameEnded(bool running,
                                         std::uint32_t launchTick,
                                         std::uint32_t now,
                                         bool gameRunning) {
    return running && GracePeriodOver(launchTick, now) && !gameRunning;
}

}  // namespace ombrelta
