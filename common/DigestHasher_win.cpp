#include "common/DigestHasher.h"

#include <windows.h>

#include <wincrypt.h>

#include <optional>

#include "common/Sha256Instructions.h"

namespace ombrelta {

template <DigestAlgorithm algorithm, std::size_t digestSize>
struct DigestHasher<algorithm, digestSize>::State {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    // SHA-256 on the processor's own instructions when it has them, the provider otherwise.
    std::optional<Sha256Instructions> instructions;

    ~State() {
        if (hash)
            CryptDestroyHash(hash);
        if (provider)
            CryptReleaseContext(provider, 0);
    }
};

template <DigestAlgorithm algorithm, std::size_t digestSize>
void DigestHasher<algorithm, digestSize>::StateDeleter::operator()(State* state) const {
    delete state;
}

template <DigestAlgorithm algorithm, std::size_t digestSize>
std::optional<DigestHasher<algorithm, digestSize>> DigestHasher<algorithm, digestSize>::Create() {
    // SHA-256 needs the AES provider; MD5 keeps the basic one it always had.
    const bool md5 = algorithm == DigestAlgorithm::Md5;
    StatePtr state(new State);
    if (!md5 && Sha256Instructions::Available()) {
        state->instructions.emplace();
        return DigestHasher(std::move(state));
    }
    if (!CryptAcquireContextW(&state->provider, nullptr, nullptr, md5 ? PROV_RSA_FULL : PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT)) {
        state->provider = 0;
        return std::nullopt;
    }
    if (!CryptCreateHash(state->provider, md5 ? CALG_MD5 : CALG_SHA_256, 0, 0, &state->hash)) {
        state->hash = 0;
        return std::nullopt;
    }
    return DigestHasher(std::move(state));
}

template <DigestAlgorithm algorithm, std::size_t digestSize>
bool DigestHasher<algorithm, digestSize>::UpdateState(State& state,
                                                      const std::uint8_t* data,
                                                      std::size_t size) {
    if (state.instructions) {
        state.instructions->Update(data, size);
        return true;
    }
    // CryptHashData takes a DWORD length; feed larger inputs in pieces.
    constexpr std::size_t kMaxPiece = 0x40000000;
    while (size > 0) {
        const std::size_t piece = size < kMaxPiece ? size : kMaxPiece;
        if (!CryptHashData(state.hash, data, static_cast<DWORD>(piece), 0))
            return false;
        data += piece;
        size -= piece;
    }
    return true;
}

template <DigestAlgorithm algorithm, std::size_t digestSize>
auto DigestHasher<algorithm, digestSize>::FinishState(State& state) -> std::optional<Digest> {
    if constexpr (algorithm == DigestAlgorithm::Sha256) {
        if (state.instructions)
            return state.instructions->Finish();
    }
    Digest digest{};
    DWORD length = static_cast<DWORD>(digest.size());
    if (!CryptGetHashParam(state.hash, HP_HASHVAL, digest.data(), &length, 0) || length != digest.size())
        return std::nullopt;
    return digest;
}

template class DigestHasher<DigestAlgorithm::Md5, 16>;
template class DigestHasher<DigestAlgorithm::Sha256, 32>;

}  // namespace ombrelta
