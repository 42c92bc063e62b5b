#include "common/Sha256.h"

#include <openssl/evp.h>

namespace ombrelta {

struct Sha256Hasher::State {
    EVP_MD_CTX* context = nullptr;

    ~State() { EVP_MD_CTX_free(context); }
};

std::optional<Sha256Hasher> Sha256Hasher::Create() {
    auto state = std::make_unique<State>();
    state->context = EVP_MD_CTX_new();
    if (!state->context)
        return std::nullopt;
    if (EVP_DigestInit_ex(state->context, EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    return Sha256Hasher(std::move(state));
}

Sha256Hasher::Sha256Hasher(std::unique_ptr<State> state) : state_(std::move(state)) {}
Sha256Hasher::Sha256Hasher(Sha256Hasher&&) noexcept = default;
Sha256Hasher& Sha256Hasher::operator=(Sha256Hasher&&) noexcept = default;
Sha256Hasher::~Sha256Hasher() = default;

bool Sha256Hasher::Update(const std::uint8_t* data, std::size_t size) {
    if (!state_)
        return false;
    return EVP_DigestUpdate(state_->context, data, size) == 1;
}

std::optional<Sha256Digest> Sha256Hasher::Finish() {
    if (!state_)
        return std::nullopt;
    std::unique_ptr<State> spent = std::move(state_);
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(spent->context, digest.data(), &length) != 1 || length != digest.size())
        return std::nullopt;
    return digest;
}

}  // namespace ombrelta
