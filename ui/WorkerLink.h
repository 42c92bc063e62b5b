#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace ombrelta {

/// A window handle as the host gives it (HWND on Windows); never dereferenced by portable code.
using WindowHandle = void*;

/// The one thing the launcher's worker threads share with the window: the window handle they
/// post to, and a count of the workers still running. The window detaches when it is destroyed,
/// so a late worker never posts to a dead window, and the owner can wait a bounded time for
/// the workers before it lets go of what they use.
class WorkerLink {
public:
    /// Makes window the target of later posts.
    void Attach(WindowHandle window);
    /// Stops every later post; waits for a post in progress to finish.
    void Detach();

    /// Calls post with the window while one is attached and returns its result; false (post not
    /// called) once detached. post runs under the link's lock and must not wait for the window.
    bool Post(const std::function<bool(WindowHandle)>& post);

    /// Counts a worker in; every WorkerStarted needs one WorkerEnded.
    void WorkerStarted();
    void WorkerEnded();
    /// Waits until no worker runs or the timeout passes; true when none runs.
    bool WaitForWorkers(std::chrono::milliseconds timeout);

private:
    std::mutex mutex;
    std::condition_variable idle;
    WindowHandle window = nullptr;
    int running = 0;
};

}  // namespace ombrelta
