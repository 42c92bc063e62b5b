#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <asio.hpp>

#include "tools/server/ConnectionLimits.h"
#include "tools/server/ServerContent.h"
#include "tools/server/ServerLog.h"
#include "tools/server/ServerMetrics.h"
#include "tools/server/ServerProtocol.h"

namespace ombrelta::server {

/// Whom a connection serves.
struct SessionPeer {
    /// The player: the connection's own peer, or the source a balancer's PROXY header names.
    asio::ip::tcp::endpoint endpoint;
    /// True for a balancer's own health check (a PROXY header with the LOCAL command): served
    /// like any other connection, but nothing of it is logged, and it counts only as a health
    /// check in the metrics.
    bool balancerCheck = false;
};

/// How long one connection may take.
struct SessionTimeouts {
    std::chrono::milliseconds request;  // from a request's first byte to its last
    std::chrono::milliseconds idle;     // waiting for a request to begin, or for an answer to go
};

/// One client connection: reads a request packet, writes its answer, and again, until the
/// client hangs up, times out or sends something the server will not answer. Any failure,
/// an exception included, closes only this connection, with one log line. Memory per
/// connection is fixed: the request buffer is part of the session and an answer is released
/// once written. Its requests, answers and timeouts are counted in the metrics. Kept alive by the
/// shared pointers its pending operations hold.
class ServerSession : public std::enable_shared_from_this<ServerSession> {
public:
    /// Takes over the connection serving peer, and its admission ticket; the content stays
    /// alive as long as the session, the log and metrics must outlive it.
    ServerSession(asio::ip::tcp::socket connection,
                  const SessionPeer& peer,
                  std::shared_ptr<const ServerContent> content,
                  ServerLog& log,
                  ServerMetrics& metrics,
                  SessionTimeouts timeouts,
                  ConnectionLimits::Ticket ticket);
    /// Logs and counts the close.
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    /// Logs the open and waits for the first request.
    void Start();

private:
    void WaitForRequest();
    void ReadHeaderRest();
    void ReadPayload();
    void HandleRequest();
    void WriteAnswer();
    void Arm(std::chrono::milliseconds timeout, const char* awaited, TimeoutKind kind);
    template <typename Update>
    void Count(Update update);
    void Log(const std::string& text) noexcept;
    void Fail(const std::string& reason);
    void Broken(const std::error_code& error);
    void End();
    template <typename Step>
    void Guarded(Step step);

    asio::ip::tcp::socket socket;
    asio::steady_timer deadline;
    std::shared_ptr<const ServerContent> content;
    ServerLog& log;
    ServerMetrics& metrics;
    SessionTimeouts timeouts;
    ConnectionLimits::Ticket ticket;
    std::string address;
    std::string addressAndPort;
    bool balancerCheck = false;
    const char* waitingFor = "";
    TimeoutKind waitingKind = TimeoutKind::Idle;
    std::array<std::uint8_t, 2> header{};
    std::size_t payloadSize = 0;
    std::array<std::uint8_t, kMaxRequestPayload> payload{};
    std::array<std::uint8_t, 2> answerLength{};
    std::vector<std::uint8_t> answer;
    SentKind answerKind = SentKind::Other;
    std::chrono::steady_clock::time_point requestEnd;
};

}  // namespace ombrelta::server
