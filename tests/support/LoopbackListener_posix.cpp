#include "tests/support/LoopbackListener.h"

#include <sys/socket.h>

#include <cerrno>

namespace ombrelta {

SocketHandle AcceptConnection(SocketHandle listener) {
    int fd;
    do {
        fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? kInvalidSocket : fd;
}

}  // namespace ombrelta
