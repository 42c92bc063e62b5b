#include "protocol/MirrorSet.h"

#include "common/MirrorUrl.h"

namespace ombrelta {

MirrorSet::MirrorSet(std::vector<std::string> bases)
    : bases(std::move(bases)), clients(this->bases.size()), failed(this->bases.size(), false) {}

void MirrorSet::StartRun() {
    failed.assign(bases.size(), false);
}

std::size_t MirrorSet::NextUsable(std::size_t index) const {
    while (index < bases.size() && failed[index])
        ++index;
    return index;
}

HttpClient& MirrorSet::Client(std::size_t index) {
    if (!clients[index])
        clients[index] = std::make_unique<HttpClient>();
    return *clients[index];
}

void MirrorSet::Failed(std::size_t index, const std::string& reason, const std::string& name) {
    failed[index] = true;
    if (log)
        log("mirror " + MirrorHost(bases[index]) + " failed on " + name + ": " + reason);
}

void MirrorSet::Served(const std::string& name, std::optional<std::size_t> mirror) const {
    if (log)
        log(name + " from " + (mirror ? MirrorHost(bases[*mirror]) : std::string("the server")));
}

}  // namespace ombrelta
