#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/server/ServerProtocol.h"

namespace ombrelta::server {

/// Why a connection was closed at once, without being served.
enum class Refusal { PerAddressCap, ConnectionCap, ProxyHeader };
/// What the bytes of an answer carried: patch chunks, file chunks, or anything else.
enum class SentKind { Patch, File, Other };
/// The two deadlines of a connection (see SessionTimeouts).
enum class TimeoutKind { Request, Idle };

/// False where the server is built without prometheus-cpp (Windows): there nothing is counted,
/// Page() is empty and --metrics is refused.
bool MetricsAvailable();

/// The server's metrics, in a prometheus-cpp registry of its own. Every update is a lock-free
/// atomic change, callable from any thread, except AnswerTime, whose histogram takes its own
/// short lock; none is ever held while anything is sent. Never throws after construction.
class ServerMetrics {
public:
    /// Registers every metric at zero.
    ServerMetrics();
    ~ServerMetrics();
    ServerMetrics(const ServerMetrics&) = delete;
    ServerMetrics& operator=(const ServerMetrics&) = delete;

    void ConnectionAccepted();
    void ConnectionRefused(Refusal reason);
    /// A connection is being served from now on (active).
    void ConnectionOpened();
    /// A served connection has ended (no longer active, closed).
    void ConnectionClosed();
    /// A request arrived whole.
    void RequestReceived(RequestKind kind);
    /// A request refused for its form: a length no request has, an unknown type, fields that do
    /// not fill its length.
    void RequestMalformed();
    void Sent(SentKind kind, std::size_t bytes);
    void TimedOut(TimeoutKind kind);
    /// Time from a request's last byte to its answer's last byte.
    void AnswerTime(std::chrono::steady_clock::duration time);
    void LogLineDropped();
    void ContentReloaded(bool succeeded);
    /// A served file was found changed on disk since it was loaded.
    void ContentChanged();
    /// The content now given to new connections.
    void ContentServed(std::uint16_t newestPatch, std::size_t gameFiles);
    /// A balancer's health check (a connection opened with a LOCAL PROXY header) has ended. Such a
    /// connection counts here only: not as accepted, served, refused, nor by its requests.
    void HealthCheckEnded();

    /// Every metric in Prometheus' text exposition format 0.0.4. Throws std::bad_alloc only.
    std::string Page() const;

private:
    struct Metrics;
    std::unique_ptr<Metrics> metrics;
};

}  // namespace ombrelta::server
