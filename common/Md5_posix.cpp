#include "common/Md5.h"

#include <openssl/evp.h>

namespace ombrelta {

struct Md5Hasher::State {
    EVP_MD_CTX* context = nullptr;

    ~State() { EVP_MD_CTX_free(context); }
};

std::optional<Md5Hasher> Md5Hasher::Create() {
    StatePtr state(new State);
    state->context = EVP_MD_CTX_new();
    if (!state->context)
        return std::nullopt;
    if (EVP_DigestInit_ex(state->context, EVP_md5(), nullptr) != 1)
        return std::nullopt;
    return Md5Hasher(std::move(state));
}

void Md5Hasher::StateDeleter::operator()(State* state) const {
    delete state;
}

bool Md5Hasher::Update(const std::uint8_t* data, std::size_t size) {
    if (!state)
        return false;
    return EVP_DigestUpdate(state->context, data, size) == 1;
}

std::optional<Md5Digest> Md5Hasher::Finish() {
    if (!state)
        return std::nullopt;
    StatePtr spent = std::move(state);
    Md5Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(spent->context, digest.data(), &length) != 1 || length != digest.size())
        return std::nullopt;
    return digest;
}

}  // namespace ombrelta
