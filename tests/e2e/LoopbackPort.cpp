#include "tests/e2e/LoopbackPort.h"

#include <chrono>
#include <thread>

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

bool WaitUntilListening(std::uint16_t port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Accepts(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace ombrelta::test
