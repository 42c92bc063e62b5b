#pragma once

#include <cstdint>
#include <vector>

#include "common/Socket.h"

namespace ombrelta::test {

/// A listener on 127.0.0.1 that never accepts and whose queue of waiting connections is full, so
/// that a further connect stays unanswered, as with a server behind a dead route (Linux and Wine
/// drop the handshake; Windows itself would refuse it). Fails the current test when the queue
/// does not fill.
class FullBacklogListener {
public:
    FullBacklogListener();
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;

    SocketAddress Address() const;

private:
    void Fill();

    SocketHandle listener = kInvalidSocket;
    std::uint16_t port = 0;
    std::vector<SocketHandle> queued;
};

/// An address on 127.0.0.1 that refuses connections: a port that was just listened on and freed.
SocketAddress RefusingAddress();

}  // namespace ombrelta::test
