#include "ui/WorkerStart.h"

#include <system_error>
#include <thread>

namespace ombrelta {
namespace {

// Counts one worker out when its body ends, however it ends.
class WorkerScope {
public:
    explicit WorkerScope(std::shared_ptr<WorkerLink> link) : link(std::move(link)) {}
    ~WorkerScope() { link->WorkerEnded(); }
    WorkerScope(const WorkerScope&) = delete;
    WorkerScope& operator=(const WorkerScope&) = delete;

private:
    std::shared_ptr<WorkerLink> link;
};

}  // namespace

void StartDetachedThread(std::function<void()> body) {
    std::thread(std::move(body)).detach();
}

std::optional<std::string> StartWorker(const std::shared_ptr<WorkerLink>& link,
                                       std::function<void()> body,
                                       const ThreadStarter& start) {
    link->WorkerStarted();
    try {
        start([link, body = std::move(body)] {
            WorkerScope scope(link);
            body();
        });
    } catch (const std::system_error& error) {
        link->WorkerEnded();
        return std::string(error.what());
    }
    return std::nullopt;
}

}  // namespace ombrelta
