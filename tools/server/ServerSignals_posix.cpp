#include "tools/server/ServerSignals.h"

#include <pthread.h>
#include <atomic>
#include <csignal>
#include <thread>

namespace ombrelta::server {
namespace {

sigset_t ServerSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&set, signal);
    return set;
}

}  // namespace

void ReserveServerSignals() {
    sigset_t set = ServerSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// One thread waits for the signals, which every other thread keeps blocked: no handler runs
// inside a worker, and a signal never waits for the thread it landed on to wake up (as the
// thread sanitizer's deferred delivery can leave it).
struct ServerSignals::Receiver {
    std::atomic<bool> ending{false};
    std::thread waiter;
};

ServerSignals::ServerSignals(asio::io_context& io, std::function<void()> onStop, std::function<void()> onReload)
    : receiver(std::make_unique<Receiver>()) {
    receiver->waiter = std::thread([&io, &ending = receiver->ending, onStop = std::move(onStop),
                                    onReload = std::move(onReload)] {
        const sigset_t set = ServerSignalSet();
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0 || ending)
                return;
            if (signal != SIGHUP) {
                asio::post(io, onStop);
                return;
            }
            asio::post(io, onReload);
        }
    });
}

ServerSignals::~ServerSignals() {
    receiver->ending = true;
    // Wakes the waiter unless a stop request has already ended it.
    pthread_kill(receiver->waiter.native_handle(), SIGTERM);
    receiver->waiter.join();
}

}  // namespace ombrelta::server
