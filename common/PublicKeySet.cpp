#include "common/PublicKeySet.h"

#include <algorithm>
#include <utility>

#include "common/Base64.h"
#include "common/P256Curve.h"
#include "common/Signature.h"

namespace ombrelta {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

PublicKeySet::PublicKeySet(std::vector<std::uint8_t> key) {
    keys.push_back(std::move(key));
}

PublicKeySet PublicKeySet::Parse(std::string_view text) {
    PublicKeySet set;
    for (;;) {
        const std::size_t comma = text.find(',');
        set.keys.push_back(
            DecodeBase64(TrimBlanks(text.substr(0, comma))).value_or(std::vector<std::uint8_t>{}));
        if (comma == std::string_view::npos)
            return set;
        text.remove_prefix(comma + 1);
    }
}

bool PublicKeySet::Valid() const {
    return !keys.empty() && keys.size() <= kMaxPublicKeys &&
           std::all_of(keys.begin(), keys.end(), [](const auto& key) { return IsP256PublicKey(key); });
}

bool PublicKeySet::Verifies(std::span<const std::uint8_t> message,
                            std::span<const std::uint8_t> derSignature) const {
    return Valid() && std::any_of(keys.begin(), keys.end(), [&](const auto& key) {
               return VerifyP256Signature(key, message, derSignature);
           });
}

}  // namespace ombrelta
