// Feeds arbitrary bytes as an answer payload to the answer parsers of the launcher server
// protocol, and walks them with the packet reader. A parser must either return a value or throw
// std::runtime_error; it must never crash, hang or read outside the payload (AddressSanitizer
// watches), and what it returns must agree with the bytes it was given.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "protocol/HashMessages.h"
#include "protocol/MessageCodes.h"
#include "protocol/PacketReader.h"
#include "protocol/PatchMessages.h"

namespace {

using ombrelta::HashEntry;
using ombrelta::PatchInfo;

using Payload = std::vector<std::uint8_t>;

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void HasNextPatch(const Payload& payload) {
    (void)ombrelta::ParseHasNextPatchAnswer(payload);
}

void NextPatch(const Payload& payload) {
    PatchInfo info = ombrelta::ParseNextPatchAnswer(payload);
    Check(info.found || (info.version == 0 && info.size == 0 && info.fileName.empty()));
    Check(info.fileName.size() <= 255);
}

void PatchChunk(const Payload& payload) {
    bool last = false;
    std::vector<std::uint8_t> chunk = ombrelta::ParsePatchChunkAnswer(payload, last);
    Check(chunk.size() + 10 <= payload.size() || chunk.empty());
}

void HashList(const Payload& payload) {
    std::vector<HashEntry> entries = ombrelta::ParseHashListAnswer(payload);
    // Five header bytes, then at least eleven bytes per entry.
    Check(entries.size() <= 255 && 5 + 11 * entries.size() <= payload.size());
    for (const HashEntry& entry : entries)
        Check(entry.id <= 255 && entry.path.size() <= 255 && entry.hash.size() <= 255);
}

void FileChunk(const Payload& payload) {
    bool last = false;
    std::vector<std::uint8_t> chunk = ombrelta::ParseFileChunkAnswer(payload, 7, 0, last);
    Check(chunk.size() + 14 <= payload.size() || chunk.empty());
}

struct AnswerParser {
    ombrelta::MessageCode code;
    void (*parse)(const Payload&);
};

constexpr AnswerParser kParsers[] = {
    {ombrelta::HAS_NEXT_PATCH, HasNextPatch}, {ombrelta::GET_NEXT_PATCH, NextPatch},
    {ombrelta::GET_PATCH_CHUNK, PatchChunk},  {ombrelta::HASH_DATA, HashList},
    {ombrelta::HASH_DATA, FileChunk},
};

// Every parser first reads the message code and throws, the same way for any foreign code, when
// it is not its own. So a payload with one parser's code goes to the parsers of that code, and
// any other payload to all of them, each of which must refuse it: every path is still taken,
// without the four throws per input that prove nothing new (a throw is dear under the sanitizers).
void ParseEveryAnswer(const Payload& payload) {
    const int code = payload.size() >= 2 ? payload[0] | (payload[1] << 8) : -1;
    const bool known = std::any_of(std::begin(kParsers), std::end(kParsers),
                                   [&](const AnswerParser& p) { return p.code == code; });
    for (const AnswerParser& parser : kParsers) {
        if (known && parser.code != code)
            continue;
        try {
            parser.parse(payload);
        } catch (const std::runtime_error&) {
            // The one way a parser may refuse an answer.
        }
    }
}

// How many bytes the walk's read for this selector asks for; the reader must agree.
std::uint64_t ReadSize(std::uint8_t selector) {
    constexpr std::uint64_t kFixedSizes[] = {1, 2, 4, 8};
    switch (selector % 6) {
        case 4:
            return selector / 6;
        case 5:
            // Half of them far beyond any payload, so a huge count meets the range check.
            return selector < 128 ? selector / 6 : static_cast<std::uint64_t>(selector) << 24;
        default:
            return kFixedSizes[selector % 6];
    }
}

void Read(ombrelta::PacketReader& reader, std::uint8_t selector) {
    const auto size = static_cast<std::uint32_t>(ReadSize(selector));
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
        case 4: {
            std::string text = reader.ReadString(size);
            Check(text.size() <= size && (text.empty() || text.back() != '\0'));
            break;
        }
        default:
            Check(reader.ReadBytes(size).size() == size);
            break;
    }
}

// The reader's own rules: a read that fits takes exactly its size, one that does not fit throws
// and takes nothing, and the reads after it go on from the same place. Only the first read that
// cannot fit is made (a throw under the sanitizers costs more than all else the walk does, and
// inputs differ in which read that is), and the reader's one piece of state, its position, needs
// no long walks: a few dozen reads reach the end of any but the longest inputs.
void WalkWithReader(const Payload& payload) {
    constexpr std::size_t kMaxReads = 64;
    ombrelta::PacketReader reader(payload);
    bool failedOnce = false;
    const std::size_t reads = std::min(payload.size(), kMaxReads);
    for (std::size_t step = 0; step < reads && reader.Remaining() > 0; ++step) {
        const std::uint8_t selector = payload[step];
        const std::uint32_t before = reader.Remaining();
        const bool fits = ReadSize(selector) <= before;
        if (!fits && std::exchange(failedOnce, true))
            continue;
        bool threw = false;
        try {
            Read(reader, selector);
        } catch (const std::runtime_error&) {
            threw = true;
        }
        Check(threw != fits);
        Check(reader.Remaining() == (fits ? before - ReadSize(selector) : before));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One packet never carries more than 65533 payload bytes.
    if (size > 65533)
        return -1;
    Payload payload(data, data + size);
    ParseEveryAnswer(payload);
    WalkWithReader(payload);
    return 0;
}
