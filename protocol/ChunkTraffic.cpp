#include "protocol/ChunkTraffic.h"

#include <utility>

namespace ombrelta {

void ChunkTraffic::LimitRate(std::uint64_t bytesPerSecond,
                             RateLimiter::Clock clock,
                             RateLimiter::Sleep sleep) {
    limit.reset();
    if (bytesPerSecond != 0)
        limit.emplace(bytesPerSecond, std::move(clock), std::move(sleep));
}

void ChunkTraffic::BeforeRequest() {
    if (limit)
        limit->Wait();
}

void ChunkTraffic::Received(std::uint64_t bytes, DownloadPosition now) {
    bytesReceived += bytes;
    position = now;
    if (limit)
        limit->Take(bytes);
    Notify(events, {.kind = ProgressEventKind::DownloadBytes, .done = now.written, .total = now.total});
}

std::uint64_t ChunkTraffic::ChunkLength(std::uint16_t code, std::uint64_t fallback) const {
    const auto noted = chunkLengths.find(code);
    return noted == chunkLengths.end() ? fallback : noted->second;
}

}  // namespace ombrelta
