#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ombrelta::test {

/// A plain TCP client on 127.0.0.1 for byte-exact exchanges; receives time out after 10 s.
class RawConnection {
public:
    /// Connects from source (another loopback address such as "127.0.0.2", or the system's
    /// choice when empty); Connected() is false (and the test has failed) when it cannot.
    explicit RawConnection(std::uint16_t port, const std::string& source = "");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool Connected() const { return fd >= 0; }
    /// Sends all bytes; false on error.
    bool Send(const std::string& bytes);
    /// One whole answer packet, length field included; nothing when the server closes the
    /// connection (or times out) first.
    std::optional<std::string> ReceivePacket();
    /// True when the server has closed the connection: a read sees the end of the stream.
    bool ClosedByPeer();
    /// Every byte until the server closes the connection (or a receive times out).
    std::string ReceiveToEnd();
    /// Ends the connection with a reset (RST) instead of an orderly close.
    void Reset();

private:
    bool ReadExactly(std::string& into, std::size_t count);

    int fd = -1;
};

/// A packet from a payload: the 16-bit length (itself included), then the payload.
std::string Frame(const std::string& payload);
/// A 32-bit value as four little-endian bytes.
std::string Le32(std::uint32_t value);
/// Bytes from hex text such as "A8 9C 01" (spaces ignored).
std::string Hex(const std::string& text);
/// Bytes as upper-case hex pairs separated by spaces, for readable failures.
std::string ToHex(const std::string& bytes);

}  // namespace ombrelta::test
