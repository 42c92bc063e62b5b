#include "protocol/ChunkChannels.h"

namespace ombrelta {

bool ApiChunkChannel::Discard() {
    try {
        std::vector<std::uint8_t> ignored;
        return api.ReceivePacket(ignored);
    } catch (...) {
        return false;
    }
}

void PatchChunkChannel::Request(std::uint32_t offset) {
    api.SendPatchChunkRequest(version, offset);
}

std::uint64_t PatchChunkChannel::Receive(bool& last) {
    chunk = api.ReceivePatchChunk(last);
    return chunk.size();
}

void FileChunkChannel::Request(std::uint32_t offset) {
    api.SendFileChunkRequest(fileId, offset);
    offsets.push_back(offset);
}

std::uint64_t FileChunkChannel::Receive(bool& last) {
    const std::uint32_t offset = offsets.empty() ? 0 : offsets.front();
    if (!offsets.empty())
        offsets.pop_front();
    chunk = api.ReceiveFileChunk(fileId, offset, last);
    return chunk.size();
}

}  // namespace ombrelta
