#include "tests/e2e/LoopbackPort.h"

#include "common/Socket.h"
#include "tests/support/LoopbackListener.h"

namespace ombrelta::test {

std::uint16_t FreePort() {
    SocketHandle listener = kInvalidSocket;
    const std::uint16_t port = ListenOnLoopback(listener).value_or(0);
    if (listener != kInvalidSocket)
        CloseSocket(listener);
    return port;
}

bool Accepts(std::uint16_t port) {
    const SocketHandle socket = CreateTcpSocket();
    const bool connected = socket != kInvalidSocket && ConnectSocket(socket, *ParseIPv4("127.0.0.1"), port);
    if (socket != kInvalidSocket)
        CloseSocket(socket);
    return connected;
}

}  // namespace ombrelta::test
