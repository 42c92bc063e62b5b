#include "common/Md5.h"

#include <windows.h>

#include <wincrypt.h>

namespace ombrelta {

struct Md5Hasher::State {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;

    ~State() {
        if (hash)
            CryptDestroyHash(hash);
        if (provider)
            CryptReleaseContext(provider, 0);
    }
};

std::optional<Md5Hasher> Md5Hasher::Create() {
    StatePtr state(new State);
    if (!CryptAcquireContextW(&state->provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        state->provider = 0;
        return std::nullopt;
    }
    if (!CryptCreateHash(state->provider, CALG_MD5, 0, 0, &state->hash)) {
        state->hash = 0;
        return std::nullopt;
    }
    return Md5Hasher(std::move(state));
}

void Md5Hasher::StateDeleter::operator()(State* state) const {
    delete state;
}

bool Md5Hasher::Update(const std::uint8_t* data, std::size_t size) {
    if (!state)
        return false;
    // CryptHashData takes a DWORD length; feed larger inputs in pieces.
    constexpr std::size_t kMaxPiece = 0x40000000;
    while (size > 0) {
        const std::size_t piece = size < kMaxPiece ? size : kMaxPiece;
        if (!CryptHashData(state->hash, data, static_cast<DWORD>(piece), 0))
            return false;
        data += piece;
        size -= piece;
    }
    return true;
}

std::optional<Md5Digest> Md5Hasher::Finish() {
    if (!state)
        return std::nullopt;
    StatePtr spent = std::move(state);
    Md5Digest digest{};
    DWORD length = static_cast<DWORD>(digest.size());
    if (!CryptGetHashParam(spent->hash, HP_HASHVAL, digest.data(), &length, 0) || length != digest.size())
        return std::nullopt;
    return digest;
}

}  // namespace ombrelta
