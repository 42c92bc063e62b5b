#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "tools/server/ServerMetrics.h"

namespace ombrelta::server {

/// Counts open connections, in all and per peer address, against two caps. Safe from any
/// thread.
class ConnectionLimits {
public:
    struct Counts;

    /// One admitted connection; gives its place back when destroyed.
    class Ticket {
    public:
        Ticket(std::shared_ptr<Counts> counts, std::string address);
        Ticket(Ticket&& other) noexcept = default;
        Ticket& operator=(Ticket&& other) noexcept = default;
        ~Ticket();

    private:
        std::shared_ptr<Counts> counts;
        std::string address;
    };

    /// Caps of at least 1.
    ConnectionLimits(std::size_t maxConnections, std::size_t maxPerAddress);

    /// A ticket for one more connection from address, or nothing, with refusal naming the cap,
    /// when either cap is reached. Tickets may outlive this object.
    std::optional<Ticket> Admit(const std::string& address, Refusal& refusal);

private:
    std::shared_ptr<Counts> counts;
};

}  // namespace ombrelta::server
