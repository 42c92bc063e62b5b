// Feeds arbitrary bytes as an answer payload to every answer parser of the launcher server
// protocol. Each must either return a value or throw std::runtime_error; it must never crash,
// hang or read outside the payload (AddressSanitizer watches), and what it returns must agree
// with the bytes it was given.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "protocol/HashMessages.h"
#include "protocol/PacketReader.h"
#include "protocol/PatchMessages.h"

namespace {

using ombrelta::HashEntry;
using ombrelta::PatchInfo;

template <typename Parse>
void Survive(Parse parse) {
    try {
        parse();
    } catch (const std::runtime_error&) {
        // The one way a parser may refuse an answer.
    }
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void ParseEveryAnswer(const std::vector<std::uint8_t>& payload) {
    Survive([&] { (void)ombrelta::ParseHasNextPatchAnswer(payload); });
    Survive([&] {
        PatchInfo info = ombrelta::ParseNextPatchAnswer(payload);
        Check(info.found || (info.version == 0 && info.size == 0 && info.fileName.empty()));
        Check(info.fileName.size() <= 255);
    });
    Survive([&] {
        bool last = false;
        std::vector<std::uint8_t> chunk = ombrelta::ParsePatchChunkAnswer(payload, last);
        Check(chunk.size() + 10 <= payload.size() || chunk.empty());
    });
    Survive([&] {
        std::vector<HashEntry> entries = ombrelta::ParseHashListAnswer(payload);
        // Five header bytes, then at least eleven bytes per entry.
        Check(entries.size() <= 255 && 5 + 11 * entries.size() <= payload.size());
        for (const HashEntry& entry : entries)
            Check(entry.id <= 255 && entry.path.size() <= 255 && entry.hash.size() <= 255);
    });
    Survive([&] {
        bool last = false;
        std::vector<std::uint8_t> chunk = ombrelta::ParseFileChunkAnswer(payload, 7, 0, last);
        Check(chunk.size() + 14 <= payload.size() || chunk.empty());
    });
}

// The reader's own rules: a failing read consumes nothing, Remaining only ever shrinks.
void WalkWithReader(const std::vector<std::uint8_t>& payload) {
    ombrelta::PacketReader reader(payload);
    std::size_t step = 0;
    while (reader.Remaining() > 0 && step < payload.size()) {
        std::uint32_t before = reader.Remaining();
        std::uint8_t selector = payload[step++];
        try {
            switch (selector % 6) {
                case 0:
                    (void)reader.ReadByte();
                    break;
                case 1:
                    (void)reader.ReadUInt16();
                    break;
                case 2:
                    (void)reader.ReadUInt32();
                    break;
                case 3:
                    (void)reader.ReadInt64();
                    break;
                case 4:
                    (void)reader.ReadString(selector / 6);
                    break;
                default:
                    (void)reader.ReadBytes(static_cast<std::uint32_t>(selector) << 24);
                    break;
            }
            Check(reader.Remaining() <= before);
        } catch (const std::runtime_error&) {
            Check(reader.Remaining() == before);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One packet never carries more than 65533 payload bytes.
    if (size > 65533)
        return -1;
    std::vector<std::uint8_t> payload(data, data + size);
    ParseEveryAnswer(payload);
    WalkWithReader(payload);
    return 0;
}
