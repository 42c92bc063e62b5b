#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "protocol/PacketReader.h"

namespace ombrelta {

// The parts that several messages of the launcher server share.

/// A request of 16-bit words (its message code first) followed by a 32-bit offset: the form of
/// every chunk request.
std::vector<std::uint8_t> BuildOffsetRequest(std::initializer_list<std::uint16_t> words,
                                             std::uint32_t offset);

/// A reader of an answer's payload past its 16-bit message code; throws std::runtime_error with
/// invalidText when the code is another message's (the reader's own text when the payload is
/// shorter than a code).
PacketReader ReadAnswerCode(const std::vector<std::uint8_t>& payload,
                            std::uint16_t expected,
                            const char* invalidText);

/// Reads a chunk answer's last flag (1 for the last chunk) into last, then its signed data size:
/// that size, or 0 for a size of 0 or below. Throws the reader's texts when the answer is short.
std::uint32_t ReadChunkHead(PacketReader& reader, bool& last);

}  // namespace ombrelta
