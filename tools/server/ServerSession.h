#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <asio.hpp>

#include "tools/server/ServerContent.h"
#include "tools/server/ServerLog.h"

namespace ombrelta::server {

/// One client connection: reads a request packet, writes its answer, and again, until the
/// client hangs up or sends something the server will not answer, which closes only this
/// connection. Kept alive by the shared pointers its pending operations hold.
class ServerSession : public std::enable_shared_from_this<ServerSession> {
public:
    /// Takes over a connected socket; content and log must outlive the session.
    ServerSession(asio::ip::tcp::socket socket, const ServerContent& content, ServerLog& log);
    /// Logs the close.
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    /// Logs the open and waits for the first request.
    void Start();

private:
    void ReadHeader();
    void ReadPayload(std::size_t size);
    void HandleRequest();
    void WriteAnswer();
    void Fail(const std::string& reason);

    asio::ip::tcp::socket socket_;
    const ServerContent& content_;
    ServerLog& log_;
    std::string peer_;
    std::array<std::uint8_t, 2> header_{};
    std::vector<std::uint8_t> payload_;
    std::array<std::uint8_t, 2> answerLength_{};
    std::vector<std::uint8_t> answer_;
};

}  // namespace ombrelta::server
