#include "tools/server/ConnectionLimits.h"

#include <mutex>
#include <unordered_map>

namespace ombrelta::server {

struct ConnectionLimits::Counts {
    std::mutex mutex;
    std::size_t maxConnections;
    std::size_t maxPerAddress;
    std::size_t open = 0;
    std::unordered_map<std::string, std::size_t> perAddress;
};

ConnectionLimits::Ticket::Ticket(std::shared_ptr<Counts> counts, std::string address)
    : counts(std::move(counts)), address(std::move(address)) {}

ConnectionLimits::Ticket::~Ticket() {
    if (!counts)
        return;
    std::lock_guard<std::mutex> lock(counts->mutex);
    --counts->open;
    auto it = counts->perAddress.find(address);
    if (--it->second == 0)
        counts->perAddress.erase(it);
}

ConnectionLimits::ConnectionLimits(std::size_t maxConnections, std::size_t maxPerAddress)
    : counts(std::make_shared<Counts>()) {
    counts->maxConnections = maxConnections;
    counts->maxPerAddress = maxPerAddress;
}

std::optional<ConnectionLimits::Ticket> ConnectionLimits::Admit(const std::string& address,
                                                                Refusal& refusal) {
    std::lock_guard<std::mutex> lock(counts->mutex);
    if (counts->open >= counts->maxConnections) {
        refusal = Refusal::ConnectionCap;
        return std::nullopt;
    }
    std::size_t& fromAddress = counts->perAddress[address];
    if (fromAddress >= counts->maxPerAddress) {
        refusal = Refusal::PerAddressCap;
        return std::nullopt;
    }
    ++fromAddress;
    ++counts->open;
    return Ticket(counts, address);
}

}  // namespace ombrelta::server
