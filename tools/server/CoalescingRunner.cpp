#include "tools/server/CoalescingRunner.h"

namespace ombrelta::server {

CoalescingRunner::CoalescingRunner(std::function<void()> job, ThreadStarter start)
    : job(std::move(job)), start(std::move(start)) {}

CoalescingRunner::~CoalescingRunner() {
    std::thread finishing;
    {
        std::lock_guard<std::mutex> lock(mutex);
        finishing = std::move(worker);
    }
    // Outside the lock: the worker takes it once more on its way out.
    if (finishing.joinable())
        finishing.join();
}

void CoalescingRunner::Request() {
    std::lock_guard<std::mutex> lock(mutex);
    if (running) {
        again = true;
        return;
    }
    if (worker.joinable())
        worker.join();
    // Marked as running only once the thread exists: a start that throws leaves nothing behind
    // that would swallow every later request. The new thread waits for this lock to see it.
    worker = start([this] { Run(); });
    running = true;
}

std::thread CoalescingRunner::StartThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

void CoalescingRunner::Run() {
    for (;;) {
        job();
        std::lock_guard<std::mutex> lock(mutex);
        if (!again) {
            running = false;
            return;
        }
        again = false;
    }
}

}  // namespace ombrelta::server
