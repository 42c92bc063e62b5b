#pragma once

#include <functional>
#include <memory>

#include <asio.hpp>

namespace ombrelta::server {

/// Keeps the stop and reload signals away from every thread started after this call, so that
/// only a ServerSignals takes them: call it before the first thread starts. Nothing on Windows.
void ReserveServerSignals();

/// Hands the system's requests to io as posted calls while it lives: onStop once for the first
/// stop request (SIGINT, SIGTERM; Ctrl+C on Windows), onReload for each reload request (SIGHUP,
/// where the system has it).
class ServerSignals {
public:
    ServerSignals(asio::io_context& io, std::function<void()> onStop, std::function<void()> onReload);
    ~ServerSignals();
    ServerSignals(const ServerSignals&) = delete;
    ServerSignals& operator=(const ServerSignals&) = delete;

private:
    struct Receiver;
    std::unique_ptr<Receiver> receiver;
};

}  // namespace ombrelta::server
