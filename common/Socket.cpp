#include "common/Socket.h"

#include "common/SocketNative.h"

namespace ombrelta {

ConnectResult ConnectWithin(SocketHandle socket, const SocketAddress& address, std::uint32_t milliseconds) {
    const NativeAddress target = ToNative(address);
    if (!SetBlocking(Native(socket), false))
        return ConnectResult::Failed;
    ConnectResult result = ConnectResult::Connected;
    if (::connect(Native(socket), target.Get(), target.length) != 0)
        result = ConnectUnderWay() ? AwaitConnect(Native(socket), milliseconds) : ConnectResult::Failed;
    if (!SetBlocking(Native(socket), true) && result == ConnectResult::Connected)
        return ConnectResult::Failed;
    return result;
}

void ShutdownAndClose(SocketHandle socket) {
    ShutdownSocket(socket);
    CloseSocket(socket);
}

}  // namespace ombrelta
