#include "tools/server/ServerMetrics.h"

#include <array>
#include <sstream>

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

namespace ombrelta::server {
namespace {

using prometheus::Counter;
using prometheus::Gauge;
using prometheus::Histogram;
using prometheus::Registry;

// From a read from the page cache into a quiet socket (well under a millisecond) to a 64 KiB
// answer a slow player takes up to the idle timeout to accept.
const Histogram::BucketBoundaries kAnswerBuckets = {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01,
                                                    0.025,  0.05,    0.1,    0.25,  0.5,    1,     2.5,
                                                    5,      10,      30,     60,    120};

// The label values of each counter family, in the order of the values they count; the counters
// are indexed by those values.
constexpr std::array kRefusalLabels{"per_address_cap", "connection_cap", "proxy_header"};
static_assert(kRefusalLabels.size() == static_cast<std::size_t>(Refusal::ProxyHeader) + 1);
constexpr std::array kRequestLabels{"has_next_patch", "next_patch", "patch_chunk", "hash_list",
                                    "file_chunk",     "block_map",  "unknown"};
static_assert(kRequestLabels.size() == static_cast<std::size_t>(RequestKind::Unknown) + 1);
constexpr std::array kSentLabels{"patch", "file", "other"};
static_assert(kSentLabels.size() == static_cast<std::size_t>(SentKind::Other) + 1);
constexpr std::size_t kReloadSucceeded = 0;
constexpr std::size_t kReloadFailed = 1;
constexpr std::array kReloadLabels{"success", "failure"};
static_assert(kReloadLabels.size() == kReloadFailed + 1);

Counter& AddCounter(Registry& registry, const std::string& name, const std::string& help) {
    return prometheus::BuildCounter().Name(name).Help(help).Register(registry).Add({});
}

Gauge& AddGauge(Registry& registry, const std::string& name, const std::string& help) {
    return prometheus::BuildGauge().Name(name).Help(help).Register(registry).Add({});
}

// One counter per value of label, in the order of the values.
template <std::size_t N>
std::array<Counter*, N> AddCounters(Registry& registry,
                                    const std::string& name,
                                    const std::string& help,
                                    const std::string& label,
                                    const std::array<const char*, N>& values) {
    auto& family = prometheus::BuildCounter().Name(name).Help(help).Register(registry);
    std::array<Counter*, N> counters{};
    for (std::size_t i = 0; i < N; ++i)
        counters[i] = &family.Add({{label, values[i]}});
    return counters;
}

}  // namespace

bool MetricsAvailable() {
    return true;
}

// Every metric is registered once, here; afterwards only the registry's Collect (a scrape)
// takes the registry's locks.
struct ServerMetrics::Metrics {
    Registry registry;
    Counter& accepted = AddCounter(registry,
                                   "ombrelta_connections_accepted_total",
                                   "Connections accepted on the game port, refused ones included.");
    Gauge& active = AddGauge(registry, "ombrelta_connections_active", "Connections being served.");
    Counter& closed =
        AddCounter(registry, "ombrelta_connections_closed_total", "Served connections that have ended.");
    std::array<Counter*, kRefusalLabels.size()> refused =
        AddCounters(registry,
                    "ombrelta_connections_refused_total",
                    "Connections closed at once without being served, by reason.",
                    "reason",
                    kRefusalLabels);
    std::array<Counter*, kRequestLabels.size()> requests =
        AddCounters(registry,
                    "ombrelta_requests_total",
                    "Requests received whole, by the kind their type names.",
                    "kind",
                    kRequestLabels);
    Counter& malformed = AddCounter(registry,
                                    "ombrelta_malformed_requests_total",
                                    "Requests refused for their form; each closes its connection.");
    std::array<Counter*, kSentLabels.size()> sent =
        AddCounters(registry,
                    "ombrelta_sent_bytes_total",
                    "Bytes of answers written to players, packet framing included, by what they carried.",
                    "kind",
                    kSentLabels);
    Counter& requestTimeouts = AddCounter(registry,
                                          "ombrelta_request_timeouts_total",
                                          "Connections closed because a begun request did not arrive whole.");
    Counter& idleTimeouts =
        AddCounter(registry,
                   "ombrelta_idle_timeouts_total",
                   "Connections closed because no request began, or an answer was not taken, in time.");
    Histogram& answerTime = prometheus::BuildHistogram()
                                .Name("ombrelta_request_duration_seconds")
                                .Help("Time from a request's last byte to its answer's last byte.")
                                .Register(registry)
                                .Add({}, kAnswerBuckets);
    Counter& logDropped = AddCounter(registry,
                                     "ombrelta_log_lines_dropped_total",
                                     "Log lines dropped because the log queue was full.");
    std::array<Counter*, kReloadLabels.size()> reloads = AddCounters(registry,
                                                                     "ombrelta_content_reloads_total",
                                                                     "Content reloads, by result.",
                                                                     "result",
                                                                     kReloadLabels);
    Counter& contentChanges =
        AddCounter(registry,
                   "ombrelta_content_changes_total",
                   "Served files found changed on disk since they were loaded; each starts a reload.");
    Gauge& newestPatch = AddGauge(registry,
                                  "ombrelta_patch_newest_version",
                                  "Newest patch version offered to new connections; 0 without patches.");
    Gauge& gameFiles =
        AddGauge(registry, "ombrelta_game_files", "Game files in the hash list of new connections.");
    Gauge& buildInfo = prometheus::BuildGauge()
                           .Name("ombrelta_build_info")
                           .Help("The server's build, by version (as the launcher's version resource); always 1.")
                           .Register(registry)
                           .Add({{"version", OMBRELTA_BUILD_VERSION}});
    Counter& healthChecks = AddCounter(registry,
                                       "ombrelta_health_checks_total",
                                       "Balancer health checks (LOCAL PROXY headers) that have ended.");
};

ServerMetrics::ServerMetrics() : metrics(std::make_unique<Metrics>()) {
    metrics->buildInfo.Set(1);
}

ServerMetrics::~ServerMetrics() = default;

void ServerMetrics::ConnectionAccepted() {
    metrics->accepted.Increment();
}

void ServerMetrics::ConnectionRefused(Refusal reason) {
    metrics->refused[static_cast<std::size_t>(reason)]->Increment();
}

void ServerMetrics::ConnectionOpened() {
    metrics->active.Increment();
}

void ServerMetrics::ConnectionClosed() {
    metrics->active.Decrement();
    metrics->closed.Increment();
}

void ServerMetrics::RequestReceived(RequestKind kind) {
    metrics->requests[static_cast<std::size_t>(kind)]->Increment();
}

void ServerMetrics::RequestMalformed() {
    metrics->malformed.Increment();
}

void ServerMetrics::Sent(SentKind kind, std::size_t bytes) {
    metrics->sent[static_cast<std::size_t>(kind)]->Increment(static_cast<double>(bytes));
}

void ServerMetrics::TimedOut(TimeoutKind kind) {
    (kind == TimeoutKind::Request ? metrics->requestTimeouts : metrics->idleTimeouts).Increment();
}

void ServerMetrics::AnswerTime(std::chrono::steady_clock::duration time) {
    metrics->answerTime.Observe(std::chrono::duration<double>(time).count());
}

void ServerMetrics::LogLineDropped() {
    metrics->logDropped.Increment();
}

void ServerMetrics::ContentReloaded(bool succeeded) {
    metrics->reloads[succeeded ? kReloadSucceeded : kReloadFailed]->Increment();
}

void ServerMetrics::ContentChanged() {
    metrics->contentChanges.Increment();
}

void ServerMetrics::ContentServed(std::uint16_t newestPatch, std::size_t gameFiles) {
    metrics->newestPatch.Set(newestPatch);
    metrics->gameFiles.Set(static_cast<double>(gameFiles));
}

void ServerMetrics::HealthCheckEnded() {
    metrics->healthChecks.Increment();
}

std::string ServerMetrics::Page() const {
    std::ostringstream page;
    prometheus::TextSerializer().Serialize(page, metrics->registry.Collect());
    return page.str();
}

}  // namespace ombrelta::server
