#include "tests/e2e/RawConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <cerrno>

#include <gtest/gtest.h>

#include "common/Socket.h"

namespace ombrelta::test {

namespace {

bool BindTo(int fd, const std::string& source) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    return inet_pton(AF_INET, source.c_str(), &address.sin_addr) == 1 &&
           bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

RawConnection::RawConnection(std::uint16_t port, const std::string& source) {
    fd = static_cast<int>(CreateTcpSocket());
    timeval timeout{.tv_sec = 10, .tv_usec = 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (fd < 0 || (!source.empty() && !BindTo(fd, source)) || !ConnectSocket(fd, *ParseIPv4("127.0.0.1"), port)) {
        ADD_FAILURE() << "cannot connect to 127.0.0.1:" << port << " from " << source;
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

RawConnection::~RawConnection() {
    if (fd >= 0)
        close(fd);
}

bool RawConnection::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t count = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

bool RawConnection::ReadExactly(std::string& into, std::size_t count) {
    while (count > 0) {
        char buffer[65536];
        ssize_t got = recv(fd, buffer, std::min(count, sizeof buffer), 0);
        if (got <= 0)
            return false;
        into.append(buffer, static_cast<std::size_t>(got));
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<std::string> RawConnection::ReceivePacket() {
    std::string packet;
    if (!ReadExactly(packet, 2))
        return std::nullopt;
    std::size_t length = static_cast<unsigned char>(packet[0]) | (static_cast<unsigned char>(packet[1]) << 8);
    if (length < 2 || !ReadExactly(packet, length - 2))
        return std::nullopt;
    return packet;
}

bool RawConnection::ClosedByPeer() {
    char byte = 0;
    ssize_t got = recv(fd, &byte, 1, 0);
    // A reset counts too: closing with unread bytes makes the peer's stack send RST, not FIN.
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

void RawConnection::Reset() {
    const linger abort{.l_onoff = 1, .l_linger = 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(fd);
    fd = -1;
}

std::string RawConnection::ReceiveToEnd() {
    std::string bytes;
    while (ReadExactly(bytes, 65536)) {
    }
    return bytes;
}

std::string Frame(const std::string& payload) {
    std::size_t length = payload.size() + 2;
    return std::string{static_cast<char>(length & 0xFF), static_cast<char>(length >> 8)} + payload;
}

std::string Le32(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::string Hex(const std::string& text) {
    std::string bytes;
    std::string digits;
    for (char c : text) {
        if (c == ' ')
            continue;
        digits += c;
        if (digits.size() == 2) {
            bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
            digits.clear();
        }
    }
    return bytes;
}

std::string ToHex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace ombrelta::test
