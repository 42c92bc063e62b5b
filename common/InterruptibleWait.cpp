#include "common/InterruptibleWait.h"

namespace ombrelta {

bool InterruptibleWait::WaitFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex);
    return !interrupted.wait_for(lock, duration, [this] { return stopped; });
}

void InterruptibleWait::Interrupt() {
    {
        std::lock_guard lock(mutex);
        stopped = true;
    }
    interrupted.notify_all();
}

bool InterruptibleWait::Interrupted() const {
    std::lock_guard lock(mutex);
    return stopped;
}

}  // namespace ombrelta
