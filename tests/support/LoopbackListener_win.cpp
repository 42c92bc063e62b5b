#include "tests/support/LoopbackListener.h"

#include <winsock2.h>

namespace ombrelta {

SocketHandle AcceptConnection(SocketHandle listener) {
    const SOCKET connection = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    return connection == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(connection);
}

}  // namespace ombrelta
