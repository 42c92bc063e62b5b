#include "tools/content/HashListAnswer.h"

#include <stdexcept>

#include "common/LittleEndian.h"
#include "protocol/MessageCodes.h"

namespace ombrelta {
namespace {

constexpr std::size_t kMaxPayload = 65533;

void AppendText(std::vector<std::uint8_t>& payload, const std::string& text, const char* what) {
    if (text.size() > 255)
        throw std::runtime_error(std::string(what) + " longer than 255 bytes: " + text);
    payload.push_back(static_cast<std::uint8_t>(text.size()));
    payload.insert(payload.end(), text.begin(), text.end());
}

}  // namespace

std::vector<std::uint8_t> HashListAnswer(std::span<const HashListItem> items) {
    if (items.size() > 255)
        throw std::runtime_error("hash list of " + std::to_string(items.size()) +
                                 " files; one answer carries at most 255");
    std::vector<std::uint8_t> payload;
    AppendLittleEndian(payload, std::uint16_t{HASH_DATA});
    AppendLittleEndian(payload, std::uint16_t{0});
    payload.push_back(static_cast<std::uint8_t>(items.size()));
    for (const HashListItem& item : items) {
        payload.push_back(item.id);
        AppendText(payload, item.path, "file path");
        AppendText(payload, item.hash, "file hash");
        AppendLittleEndian(payload, static_cast<std::uint64_t>(item.size));
    }
    if (payload.size() > kMaxPayload)
        throw std::runtime_error("hash list of " + std::to_string(payload.size()) +
                                 " bytes; one answer carries at most 65533");
    return payload;
}

}  // namespace ombrelta
