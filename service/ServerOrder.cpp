#include "service/ServerOrder.h"

#include <algorithm>

namespace ombrelta {

ServerOrder::ServerOrder(std::size_t count) : count(std::max<std::size_t>(count, 1)), tried(this->count) {}

void ServerOrder::StartRound() {
    first = last ? (*last + 1) % count : 0;
    tried = 0;
}

std::optional<std::size_t> ServerOrder::Next() {
    if (tried == count)
        return std::nullopt;
    last = (first + tried) % count;
    ++tried;
    return last;
}

}  // namespace ombrelta
