#include "common/Sha256.h"

#include <windows.h>

#include <wincrypt.h>

namespace ombrelta {

struct Sha256Hasher::State {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;

    ~State() {
        if (hash)
            CryptDestroyHash(hash);
        if (provider)
            CryptReleaseContext(provider, 0);
    }
};

std::optional<Sha256Hasher> Sha256Hasher::Create() {
    auto state = std::make_unique<State>();
    if (!CryptAcquireContextW(&state->provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        state->provider = 0;
        return std::nullopt;
    }
    if (!CryptCreateHash(state->provider, CALG_SHA_256, 0, 0, &state->hash)) {
        state->hash = 0;
        return std::nullopt;
    }
    return Sha256Hasher(std::move(state));
}

Sha256Hasher::Sha256Hasher(std::unique_ptr<State> state) : state_(std::move(state)) {}
Sha256Hasher::Sha256Hasher(Sha256Hasher&&) noexcept = default;
Sha256Hasher& Sha256Hasher::operator=(Sha256Hasher&&) noexcept = default;
Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::Update(const std::uint8_t* data, std::size_t size) {
    if (!state_)
        return false;
    // CryptHashData takes a DWORD length; feed larger inputs in pieces.
    constexpr std::size_t kMaxPiece = 0x40000000;
    while (size > 0) {
        const std::size_t piece = size < kMaxPiece ? size : kMaxPiece;
        if (!CryptHashData(state_->hash, data, static_cast<DWORD>(piece), 0))
            return false;
        data += piece;
        size -= piece;
    }
    return true;
}

std::optional<Sha256Digest> Sha256Hasher::Finish() {
    if (!state_)
        return std::nullopt;
    std::unique_ptr<State> spent = std::move(state_);
    Sha256Digest digest{};
    DWORD length = static_cast<DWORD>(digest.size());
    if (!CryptGetHashParam(spent->hash, HP_HASHVAL, digest.data(), &length, 0) || length != digest.size())
        return std::nullopt;
    return digest;
}

}  // namespace ombrelta
