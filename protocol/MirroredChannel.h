#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "protocol/ChunkChannels.h"
#include "protocol/MirrorSet.h"

namespace ombrelta {

/// The bytes of one file from the usable mirrors in turn, then from the launcher server over
/// server. A mirror is asked with ranged GETs one piece at a time; any of its faults marks it
/// failed for the run and throws SourceFault. Nothing a mirror sends decides the file's size:
/// the last chunk is the one that reaches size.
class MirroredChannel : public HeldChunkChannel {
public:
    /// The object's URL on a mirror of the given base; empty when the mirror cannot serve it.
    using ObjectUrl = std::function<std::string(const std::string& base)>;

    /// Without mirrors, or for a size of 0, every request goes to server as it would alone.
    MirroredChannel(HeldChunkChannel& server, MirrorSet* mirrors, ObjectUrl objectUrl, std::uint32_t size,
                    std::string name);

    void Request(std::uint32_t offset) override;
    std::uint64_t Receive(bool& last) override;
    std::span<const std::uint8_t> Held() const override;
    bool Discard() override;
    ChunkTraffic* Traffic() override { return server.Traffic(); }
    ChunkWindow* AutoWindow() override { return FromServer() ? server.AutoWindow() : nullptr; }
    void SendRequestsAtOnce() override { server.SendRequestsAtOnce(); }
    bool FromServer() const override { return current == kServer; }
    std::uint64_t ExpectedChunkLength() override { return FromServer() ? server.ExpectedChunkLength() : 0; }
    void ChunkLengthSeen(std::uint64_t length) override {
        if (FromServer())
            server.ChunkLengthSeen(length);
    }
    void NextSource() override;
    std::string Source() const override;

    /// Logs the source serving now as the one that served the file (with mirrors only).
    void NoteServed() const;

    /// Makes a mirror's answers end at end (at most the size) instead of the file's end, for the
    /// requests from now on; the last of them then is not the file's last chunk.
    void EndRequestsAt(std::uint64_t end);

private:
    static constexpr std::size_t kServer = static_cast<std::size_t>(-1);

    // The first usable mirror from index on that can serve the object, else the server.
    void SettleFrom(std::size_t index);
    [[noreturn]] void Fail(const std::string& reason);

    HeldChunkChannel& server;
    MirrorSet* mirrors;
    ObjectUrl objectUrl;
    std::uint32_t size;
    std::string name;
    std::size_t current = kServer;
    std::string url;
    bool open = false;
    std::uint64_t position = 0;
    std::uint64_t requestEnd;
    std::span<const std::uint8_t> held;
};

}  // namespace ombrelta
