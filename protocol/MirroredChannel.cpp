#include "protocol/MirroredChannel.h"

#include <algorithm>
#include <utility>

#include "common/MirrorUrl.h"
#include "common/ProgressEvents.h"

namespace ombrelta {

MirroredChannel::MirroredChannel(HeldChunkChannel& server,
                                 MirrorSet* mirrors,
                                 ObjectUrl objectUrl,
                                 std::uint32_t size,
                                 std::string name)
    : server(server),
      mirrors(mirrors),
      objectUrl(std::move(objectUrl)),
      size(size),
      name(std::move(name)),
      requestEnd(size) {
    // An unknown size could not be held against what a mirror sends.
    if (this->mirrors && size != 0)
        SettleFrom(0);
}

void MirroredChannel::SettleFrom(std::size_t index) {
    current = kServer;
    open = false;
    if (!mirrors)
        return;
    for (index = mirrors->NextUsable(index); index < mirrors->Count(); index = mirrors->NextUsable(index + 1)) {
        url = objectUrl(mirrors->Base(index));
        if (!url.empty()) {
            current = index;
            return;
        }
    }
}

void MirroredChannel::NextSource() {
    if (!FromServer())
        SettleFrom(current + 1);
}

void MirroredChannel::Fail(const std::string& reason) {
    open = false;
    mirrors->Failed(current, reason, name);
    throw SourceFault(reason);
}

void MirroredChannel::Request(std::uint32_t offset) {
    if (FromServer()) {
        server.Request(offset);
        return;
    }
    // One answer carries the rest of the range; a request elsewhere starts another.
    if (open && offset == position)
        return;
    HttpClient& client = mirrors->Client(current);
    if (offset >= requestEnd || !client.Open(url, {.from = offset, .to = requestEnd, .size = size}))
        Fail(client.Fault());
    open = true;
    position = offset;
}

std::uint64_t MirroredChannel::Receive(bool& last) {
    if (FromServer())
        return server.Receive(last);
    HttpClient& client = mirrors->Client(current);
    const std::optional<std::span<const std::uint8_t>> piece = open ? client.Read() : std::nullopt;
    if (!piece)
        Fail(open ? client.Fault() : "no open request");
    if (piece->empty())
        Fail("ended early");
    held = *piece;
    position += held.size();
    last = position == size;
    if (position == requestEnd)
        open = false;
    return held.size();
}

std::span<const std::uint8_t> MirroredChannel::Held() const {
    return FromServer() ? server.Held() : held;
}

bool MirroredChannel::Discard() {
    return FromServer() && server.Discard();
}

std::string MirroredChannel::Source() const {
    return FromServer() ? std::string(kServerSource) : MirrorHost(mirrors->Base(current));
}

void MirroredChannel::EndRequestsAt(std::uint64_t end) {
    requestEnd = std::min<std::uint64_t>(end, size);
}

void MirroredChannel::NoteServed() const {
    if (mirrors)
        mirrors->Served(name, FromServer() ? std::nullopt : std::optional(current));
}

}  // namespace ombrelta
