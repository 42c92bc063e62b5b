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
    : counts_(std::move(counts)), address_(std::move(address)) {}

ConnectionLimits::Ticket::~Ticket() {
    if (!counts_)
        return;
    std::lock_guard<std::mutex> lock(counts_->mutex);
    --counts_->open;
    auto it = counts_->perAddress.find(address_);
    if (--it->second == 0)
        counts_->perAddress.erase(it);
}

ConnectionLimits::ConnectionLimits(std::size_t maxConnections, std::size_t maxPerAddress)
    : counts_(std::make_shared<Counts>()) {
    counts_->maxConnections = maxConnections;
    counts_->maxPerAddress = maxPerAddress;
}

std::optional<ConnectionLimits::Ticket> ConnectionLimits::Admit(const std::string& address) {
    std::lock_guard<std::mutex> lock(counts_->mutex);
    if (counts_->open >= counts_->maxConnections)
        return std::nullopt;
    std::size_t& fromAddress = counts_->perAddress[address];
    if (fromAddress >= counts_->maxPerAddress)
        return std::nullopt;
    ++fromAddress;
    ++counts_->open;
    return Ticket(counts_, address);
}

}  // namespace ombrelta::server
