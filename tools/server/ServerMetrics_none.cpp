#include "tools/server/ServerMetrics.h"

// prometheus-cpp is not built for MinGW: the Windows server counts nothing and refuses --metrics.
namespace ombrelta::server {

bool MetricsAvailable() {
    return false;
}

struct ServerMetrics::Metrics {};

ServerMetrics::ServerMetrics() = default;
ServerMetrics::~ServerMetrics() = default;
void ServerMetrics::ConnectionAccepted() {}
void ServerMetrics::ConnectionRefused(Refusal) {}
void ServerMetrics::ConnectionOpened() {}
void ServerMetrics::ConnectionClosed() {}
void ServerMetrics::RequestReceived(RequestKind) {}
void ServerMetrics::RequestMalformed() {}
void ServerMetrics::Sent(SentKind, std::size_t) {}
void ServerMetrics::TimedOut(TimeoutKind) {}
void ServerMetrics::AnswerTime(std::chrono::steady_clock::duration) {}
void ServerMetrics::LogLineDropped() {}
void ServerMetrics::ContentReloaded(bool) {}
void ServerMetrics::ContentChanged() {}
void ServerMetrics::ContentServed(std::uint16_t, std::size_t) {}
void ServerMetrics::HealthCheckEnded() {}

std::string ServerMetrics::Page() const {
    return {};
}

}  // namespace ombrelta::server
