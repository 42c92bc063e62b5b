#pragma once

#include <cstddef>
#include <optional>

namespace ombrelta {

/// The order in which one run tries its launcher servers, by their place in the list: in rounds
/// that try each server at most once. The first round starts at the first server, every later
/// one at the server after the one tried last, wrapping around.
class ServerOrder {
public:
    /// count: the servers in the list, at least 1.
    explicit ServerOrder(std::size_t count);

    /// Starts a round.
    void StartRound();
    /// The place of the next server of the round, or nothing once the round has tried them all
    /// (and before the first round).
    std::optional<std::size_t> Next();

private:
    std::size_t count;
    std::size_t first = 0;
    std::size_t tried;
    std::optional<std::size_t> last;
};

}  // namespace ombrelta
