#include "ui/WorkerLink.h"

namespace ombrelta {

void WorkerLink::Attach(WindowHandle target) {
    std::lock_guard lock(mutex);
    window = target;
}

void WorkerLink::Detach() {
    std::lock_guard lock(mutex);
    window = nullptr;
}

bool WorkerLink::Post(const std::function<bool(WindowHandle)>& post) {
    std::lock_guard lock(mutex);
    if (window == nullptr)
        return false;
    return post(window);
}

void WorkerLink::WorkerStarted() {
    std::lock_guard lock(mutex);
    ++running;
}

void WorkerLink::WorkerEnded() {
    {
        std::lock_guard lock(mutex);
        --running;
    }
    idle.notify_all();
}

bool WorkerLink::WaitForWorkers(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return idle.wait_for(lock, timeout, [this] { return running == 0; });
}

}  // namespace ombrelta
