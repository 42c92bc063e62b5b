#include "tools/server/ContentChanges.h"

namespace ombrelta::server {

void ContentChanges::Report(const std::string& what) {
    ++count;
    // Called under the lock, so that React({}) guarantees the old reaction is done with.
    std::lock_guard<std::mutex> lock(mutex);
    if (reaction)
        reaction(what);
}

void ContentChanges::React(Reaction newReaction) {
    std::lock_guard<std::mutex> lock(mutex);
    reaction = std::move(newReaction);
}

}  // namespace ombrelta::server
