#include "tools/server/ServerProtocol.h"

#include <initializer_list>
#include <optional>
#include <stdexcept>

#include "common/LittleEndian.h"
#include "protocol/MessageCodes.h"

namespace ombrelta::server {
namespace {

// Requests come from anyone who can connect, so every field is bounds-checked and the whole
// payload must be consumed: trailing bytes mean the peer speaks something else. A short read
// sets a sticky fault and yields zeros, so a parse needs no exception for a bad request.
class RequestReader {
public:
    explicit RequestReader(std::span<const std::uint8_t> data) : data(data) {}

    std::uint16_t UInt16() { return Take<std::uint16_t>(); }
    std::uint32_t UInt32() { return Take<std::uint32_t>(); }

    std::string String() {
        if (!Need(1))
            return {};
        std::size_t length = data[pos];
        if (!Need(1 + length))
            return {};
        std::string text(reinterpret_cast<const char*>(data.data() + pos + 1), length);
        pos += 1 + length;
        return text;
    }

    bool TooShort() const { return tooShort; }

    // Nothing when every field was there and nothing follows them; otherwise the fault.
    const char* Fault() const {
        if (tooShort)
            return "request shorter than its fields";
        return pos == data.size() ? nullptr : "request longer than its fields";
    }

private:
    template <typename Value>
    Value Take() {
        if (!Need(sizeof(Value)))
            return 0;
        const Value value = LoadLittleEndian<Value>(data, pos);
        pos += sizeof(Value);
        return value;
    }

    bool Need(std::size_t count) {
        if (!tooShort && data.size() - pos >= count)
            return true;
        tooShort = true;
        return false;
    }

    std::span<const std::uint8_t> data;
    std::size_t pos = 0;
    bool tooShort = false;
};

class AnswerWriter {
public:
    void Byte(std::uint8_t value) { bytes.push_back(value); }
    void UInt16(std::uint16_t value) { AppendLittleEndian(bytes, value); }
    void UInt32(std::uint32_t value) { AppendLittleEndian(bytes, value); }
    void Int64(std::int64_t value) { AppendLittleEndian(bytes, static_cast<std::uint64_t>(value)); }
    void String(const std::string& text, const char* what) {
        if (text.size() > 255)
            throw std::runtime_error(std::string(what) + " longer than 255 bytes: " + text);
        Byte(static_cast<std::uint8_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    void Reserve(std::size_t size) { bytes.reserve(size); }
    std::vector<std::uint8_t> Take() { return std::move(bytes); }

private:
    std::vector<std::uint8_t> bytes;
};

std::optional<Request> ParseHashData(RequestReader& reader, std::string& why) {
    std::uint16_t subType = reader.UInt16();
    if (!reader.TooShort() && subType != kFileChunkSubType) {
        why = "unknown hash data sub-type " + std::to_string(subType);
        return std::nullopt;
    }
    FileChunkRequest request;
    request.fileId = reader.UInt16();
    request.offset = reader.UInt32();
    return request;
}

std::optional<Request> ParseBody(std::uint16_t type, RequestReader& reader, std::string& why) {
    switch (type) {
        case HAS_NEXT_PATCH: {
            HasNextPatchRequest request;
            request.version = reader.UInt16();
            request.clientName = reader.String();
            request.clientTag = reader.String();
            return request;
        }
        case GET_NEXT_PATCH:
            return NextPatchRequest{.version = reader.UInt16()};
        case GET_PATCH_CHUNK: {
            PatchChunkRequest request;
            request.version = reader.UInt16();
            request.offset = reader.UInt32();
            return request;
        }
        case HASH_LIST_REQUEST: {
            HashListRequest request;
            request.clientName = reader.String();
            request.clientTag = reader.String();
            return request;
        }
        case HASH_DATA:
            return ParseHashData(reader, why);
        case GET_BLOCK_MAP: {
            BlockMapRequest request;
            request.fileId = reader.UInt16();
            request.offset = reader.UInt32();
            return request;
        }
        default:
            why = "unknown request type " + std::to_string(type);
            return std::nullopt;
    }
}

// A chunk answer's fields after its leading 16-bit words, with room for dataSize bytes (zeros for
// the caller to fill) at its end.
std::vector<std::uint8_t> ChunkAnswer(std::initializer_list<std::uint16_t> words,
                                      std::uint32_t largest,
                                      const std::string& what,
                                      bool last,
                                      std::uint32_t dataSize) {
    if (dataSize > largest)
        throw std::runtime_error(what + " chunk larger than one packet");
    AnswerWriter writer;
    writer.Reserve(2 * words.size() + 8 + dataSize);
    for (const std::uint16_t word : words)
        writer.UInt16(word);
    writer.UInt32(last ? 1 : 0);
    writer.UInt32(dataSize);
    std::vector<std::uint8_t> payload = writer.Take();
    payload.resize(payload.size() + dataSize);
    return payload;
}

}  // namespace

std::optional<std::size_t> RequestPayloadSize(std::uint8_t low, std::uint8_t high, std::string& why) {
    std::size_t length = low | (high << 8);
    if (length <= 2) {
        why = "packet length " + std::to_string(length) + " carries no payload";
        return std::nullopt;
    }
    if (length - 2 > kMaxRequestPayload) {
        why = "packet length " + std::to_string(length) + " exceeds the largest request";
        return std::nullopt;
    }
    return length - 2;
}

RequestKind KindOfRequest(std::span<const std::uint8_t> payload) {
    RequestReader reader(payload);
    switch (reader.UInt16()) {
        case HAS_NEXT_PATCH:
            return RequestKind::HasNextPatch;
        case GET_NEXT_PATCH:
            return RequestKind::NextPatch;
        case GET_PATCH_CHUNK:
            return RequestKind::PatchChunk;
        case HASH_LIST_REQUEST:
            return RequestKind::HashList;
        case HASH_DATA:
            return reader.UInt16() == kFileChunkSubType && !reader.TooShort() ? RequestKind::FileChunk
                                                                              : RequestKind::Unknown;
        case GET_BLOCK_MAP:
            return RequestKind::BlockMap;
        default:
            return RequestKind::Unknown;
    }
}

std::optional<Request> ParseRequest(std::span<const std::uint8_t> payload, std::string& why) {
    RequestReader reader(payload);
    std::uint16_t type = reader.UInt16();
    std::optional<Request> request;
    if (!reader.TooShort()) {
        request = ParseBody(type, reader, why);
        if (!request)
            return std::nullopt;
    }
    if (const char* fault = reader.Fault()) {
        why = fault;
        return std::nullopt;
    }
    return request;
}

std::vector<std::uint8_t> HasNextPatchAnswer(bool hasNext) {
    AnswerWriter writer;
    writer.UInt16(HAS_NEXT_PATCH);
    writer.Byte(hasNext ? 1 : 0);
    return writer.Take();
}

std::vector<std::uint8_t> NextPatchAnswer(const PatchRecord* record) {
    AnswerWriter writer;
    writer.UInt16(GET_NEXT_PATCH);
    if (record == nullptr) {
        writer.UInt32(1);
        return writer.Take();
    }
    writer.UInt32(0);
    writer.UInt16(record->version);
    writer.UInt16(0);  // extraValue: the launcher keeps it without meaning
    writer.Byte(0);
    writer.String(record->fileName, "patch file name");
    writer.UInt32(record->size);
    return writer.Take();
}

std::vector<std::uint8_t> PatchChunkAnswer(bool last, std::uint32_t dataSize) {
    return ChunkAnswer({GET_PATCH_CHUNK}, kMaxPatchChunk, "patch", last, dataSize);
}

std::vector<std::uint8_t> FileChunkAnswer(bool last, std::uint32_t dataSize) {
    // The sub-type and file id slots, which the launcher reads past.
    return ChunkAnswer({HASH_DATA, 0, 0}, kMaxFileChunk, "file", last, dataSize);
}

std::vector<std::uint8_t> BlockMapAnswer(std::uint32_t mapSize, std::span<const std::uint8_t> piece) {
    if (piece.size() > kMaxBlockMapPiece)
        throw std::runtime_error("block map piece larger than one packet");
    AnswerWriter writer;
    writer.Reserve(10 + piece.size());
    writer.UInt16(GET_BLOCK_MAP);
    writer.UInt32(mapSize);
    writer.UInt32(static_cast<std::uint32_t>(piece.size()));
    std::vector<std::uint8_t> payload = writer.Take();
    payload.insert(payload.end(), piece.begin(), piece.end());
    return payload;
}

std::array<std::uint8_t, 2> PacketLength(std::size_t payloadSize) {
    if (payloadSize == 0 || payloadSize > kMaxPayload)
        throw std::runtime_error("payload of " + std::to_string(payloadSize) + " bytes cannot be framed");
    std::array<std::uint8_t, 2> length{};
    StoreLittleEndian(length, 0, static_cast<std::uint16_t>(payloadSize + 2));
    return length;
}

}  // namespace ombrelta::server
