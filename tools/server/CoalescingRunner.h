#pragma once

#include <functional>
#include <mutex>
#include <thread>

namespace ombrelta::server {

/// Runs a job on a thread of its own on request. A request while the job runs makes it run once
/// more afterwards (several such requests make one), since the running one may have started too
/// early to see what the request was about.
class CoalescingRunner {
public:
    /// Starts a thread running its argument; throws std::system_error when it cannot.
    using ThreadStarter = std::function<std::thread(std::function<void()>)>;

    /// Starts a plain std::thread.
    static std::thread StartThread(std::function<void()> body);

    /// job must not throw; start is replaced only by tests.
    explicit CoalescingRunner(std::function<void()> job, ThreadStarter start = StartThread);
    /// Waits for a run in progress, and the one it was asked to make after it, to end.
    ~CoalescingRunner();
    CoalescingRunner(const CoalescingRunner&) = delete;
    CoalescingRunner& operator=(const CoalescingRunner&) = delete;

    /// Starts a run, or asks the current one for another. Callable from any thread. Throws
    /// std::system_error when no thread can be started; nothing is left pending then, and the
    /// next request tries again.
    void Request();

private:
    void Run();

    std::function<void()> job;
    ThreadStarter start;
    std::mutex mutex;
    bool running = false;
    bool again = false;
    std::thread worker;
};

}  // namespace ombrelta::server
