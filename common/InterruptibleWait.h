#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ombrelta {

/// A pause that another thread can end early, and for good: once interrupted, every wait
/// returns at once.
class InterruptibleWait {
public:
    /// Waits for duration; false, at once or as soon as it happens, when Interrupt is called.
    bool WaitFor(std::chrono::milliseconds duration);
    /// Ends the current wait and every later one. Safe from any thread.
    void Interrupt();
    /// True once Interrupt has been called.
    bool Interrupted() const;

private:
    mutable std::mutex mutex;
    std::condition_variable interrupted;
    bool stopped = false;
};

}  // namespace ombrelta
