// Feeds arbitrary bytes to the server as a client's stream of request packets: each length is
// checked, each payload parsed, until the stream ends or the server would close the connection.
// No input may crash, hang or read outside its bytes (AddressSanitizer watches); a refused
// packet must say why, and an accepted one must be exactly what the launcher's own request
// builders write for the fields parsed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "protocol/HashMessages.h"
#include "protocol/PatchMessages.h"
#include "tools/server/ServerProtocol.h"

namespace {

namespace server = ombrelta::server;

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// The payload a launcher would send for request; the hash list builder always sends the tag
// "UNKNOWN", so another tag is rebuilt from the field layout instead.
std::vector<std::uint8_t> Rebuild(const server::Request& request, std::span<const std::uint8_t> payload) {
    if (const auto* r = std::get_if<server::HasNextPatchRequest>(&request))
        return ombrelta::BuildHasNextPatchRequest(r->version, r->clientName, r->clientTag);
    if (const auto* r = std::get_if<server::NextPatchRequest>(&request))
        return ombrelta::BuildNextPatchRequest(r->version);
    if (const auto* r = std::get_if<server::PatchChunkRequest>(&request))
        return ombrelta::BuildPatchChunkRequest(r->version, r->offset);
    if (const auto* r = std::get_if<server::FileChunkRequest>(&request))
        return ombrelta::BuildFileChunkRequest(r->fileId, r->offset);
    if (const auto* r = std::get_if<server::BlockMapRequest>(&request))
        return ombrelta::BuildBlockMapRequest(r->fileId, r->offset);
    const auto& list = std::get<server::HashListRequest>(request);
    if (list.clientTag == "UNKNOWN")
        return ombrelta::BuildHashListRequest(list.clientName);
    Check(payload.size() == 4 + list.clientName.size() + list.clientTag.size());
    return {payload.begin(), payload.end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> stream(data, size);
    std::string why;
    while (stream.size() >= 2) {
        why.clear();
        std::optional<std::size_t> payloadSize = server::RequestPayloadSize(stream[0], stream[1], why);
        if (!payloadSize) {
            Check(!why.empty());
            break;
        }
        Check(*payloadSize >= 1 && *payloadSize <= server::kMaxRequestPayload);
        stream = stream.subspan(2);
        if (stream.size() < *payloadSize)
            break;
        std::span<const std::uint8_t> payload = stream.first(*payloadSize);
        stream = stream.subspan(*payloadSize);
        std::optional<server::Request> request = server::ParseRequest(payload, why);
        if (!request) {
            Check(!why.empty());
            break;
        }
        std::vector<std::uint8_t> rebuilt = Rebuild(*request, payload);
        Check(rebuilt.size() == payload.size() &&
              std::equal(rebuilt.begin(), rebuilt.end(), payload.begin()));
    }
    return 0;
}
