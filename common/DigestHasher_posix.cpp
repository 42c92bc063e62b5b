#include "common/DigestHasher.h"

#include <openssl/evp.h>

namespace ombrelta {

template <DigestAlgorithm algorithm, std::size_t digestSize>
struct DigestHasher<algorithm, digestSize>::State {
    EVP_MD_CTX* context = nullptr;

    ~State() { EVP_MD_CTX_free(context); }
};

template <DigestAlgorithm algorithm, std::size_t digestSize>
void DigestHasher<algorithm, digestSize>::StateDeleter::operator()(State* state) const {
    delete state;
}

template <DigestAlgorithm algorithm, std::size_t digestSize>
std::optional<DigestHasher<algorithm, digestSize>> DigestHasher<algorithm, digestSize>::Create() {
    StatePtr state(new State);
    state->context = EVP_MD_CTX_new();
    if (!state->context)
        return std::nullopt;
    const EVP_MD* method = algorithm == DigestAlgorithm::Md5 ? EVP_md5() : EVP_sha256();
    if (EVP_DigestInit_ex(state->context, method, nullptr) != 1)
        return std::nullopt;
    return DigestHasher(std::move(state));
}

template <DigestAlgorithm algorithm, std::size_t digestSize>
bool DigestHasher<algorithm, digestSize>::UpdateState(State& state,
                                                      const std::uint8_t* data,
                                                      std::size_t size) {
    return EVP_DigestUpdate(state.context, data, size) == 1;
}

template <DigestAlgorithm algorithm, std::size_t digestSize>
auto DigestHasher<algorithm, digestSize>::FinishState(State& state) -> std::optional<Digest> {
    Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state.context, digest.data(), &length) != 1 || length != digest.size())
        return std::nullopt;
    return digest;
}

template class DigestHasher<DigestAlgorithm::Md5, 16>;
template class DigestHasher<DigestAlgorithm::Sha256, 32>;

}  // namespace ombrelta
