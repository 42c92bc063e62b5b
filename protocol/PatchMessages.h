#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/PatchInfo.h"

namespace ombrelta {

// Payloads of the patch messages, built and parsed without any connection. Builders throw
// std::runtime_error "String Too Long" for a text over 255 bytes. Parsers take a whole answer
// payload, throw std::runtime_error with the operation's invalid-answer text when the type
// code is another message's, and the reader's "... out of range" text when the answer is
// short; bytes after the last field are ignored.

/// HAS_NEXT_PATCH request: code, version, clientName, clientTag.
std::vector<std::uint8_t> BuildHasNextPatchRequest(std::uint16_t version,
                                                   std::string_view clientName,
                                                   std::string_view clientTag);
/// HAS_NEXT_PATCH answer: true exactly when its flag byte is 1.
/// Wrong code: "Invalid has next patch response.".
bool ParseHasNextPatchAnswer(const std::vector<std::uint8_t>& payload);

/// GET_NEXT_PATCH request: code, version.
std::vector<std::uint8_t> BuildNextPatchRequest(std::uint16_t version);
/// GET_NEXT_PATCH answer: found false for status 1, else the patch record.
/// Wrong code: "Invalid get next patch response.".
PatchInfo ParseNextPatchAnswer(const std::vector<std::uint8_t>& payload);

/// GET_PATCH_CHUNK request: code, version, offset.
std::vector<std::uint8_t> BuildPatchChunkRequest(std::uint16_t version, std::uint32_t offset);
/// The most archive bytes one GET_PATCH_CHUNK answer carries: a packet of 65535 bytes less the
/// length, code, last flag and size fields.
inline constexpr std::uint32_t kLargestPatchChunk = 65535 - 2 - 2 - 4 - 4;
/// GET_PATCH_CHUNK answer: the chunk's bytes (empty for a size of 0 or less). last is set to
/// (lastFlag == 1) as soon as that flag has been read, so it holds it even when a later field
/// fails. Wrong code: "Invalid patch chunk response.".
std::vector<std::uint8_t> ParsePatchChunkAnswer(const std::vector<std::uint8_t>& payload, bool& last);

}  // namespace ombrelta
