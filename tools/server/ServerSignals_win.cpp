#include "tools/server/ServerSignals.h"

#include <csignal>

namespace ombrelta::server {

void ReserveServerSignals() {}

struct ServerSignals::Receiver {
    explicit Receiver(asio::io_context& io) : signals(io, SIGINT, SIGTERM) {}
    asio::signal_set signals;
};

ServerSignals::ServerSignals(asio::io_context& io, std::function<void()> onStop, std::function<void()>)
    : receiver(std::make_unique<Receiver>(io)) {
    receiver->signals.async_wait([onStop = std::move(onStop)](const std::error_code& error, int) {
        if (!error)
            onStop();
    });
}

ServerSignals::~ServerSignals() = default;

}  // namespace ombrelta::server
