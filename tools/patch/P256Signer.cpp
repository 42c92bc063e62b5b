#include "tools/patch/P256Signer.h"

#include <fcntl.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/Signature.h"

namespace ombrelta::patchkit {
namespace {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

[[noreturn]] void Fail(const std::string& what) {
    ERR_clear_error();
    throw std::runtime_error(what);
}

bool IsP256(EVP_PKEY* key) {
    char group[64] = {};
    std::size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) ==
               1 &&
           std::string(group) == "prime256v1";
}

}  // namespace

struct P256Signer::State {
    EVP_PKEY* key = nullptr;
    ~State() { EVP_PKEY_free(key); }
};

P256Signer::P256Signer(std::unique_ptr<State> state) : state(std::move(state)) {}
P256Signer::P256Signer(P256Signer&&) noexcept = default;
P256Signer& P256Signer::operator=(P256Signer&&) noexcept = default;
P256Signer::~P256Signer() = default;

P256Signer P256Signer::Generate() {
    auto state = std::make_unique<State>();
    state->key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    if (!state->key)
        Fail("cannot make a P-256 key");
    return P256Signer(std::move(state));
}

P256Signer P256Signer::Load(const std::filesystem::path& file) {
    std::unique_ptr<std::FILE, FileClose> stream(std::fopen(file.c_str(), "rb"));
    if (!stream)
        Fail(file.string() + ": cannot open the key file");
    auto state = std::make_unique<State>();
    state->key = PEM_read_PrivateKey(stream.get(), nullptr, nullptr, nullptr);
    if (!state->key || !IsP256(state->key))
        Fail(file.string() + ": no P-256 private key (PEM) in it");
    return P256Signer(std::move(state));
}

void P256Signer::Save(const std::filesystem::path& file) const {
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        Fail(file.string() + ": cannot create the key file (it must not exist yet)");
    std::unique_ptr<std::FILE, FileClose> stream(::fdopen(descriptor, "wb"));
    if (!stream)
        ::close(descriptor);
    const bool written =
        stream && PEM_write_PrivateKey(stream.get(), state->key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    const bool closed = stream && std::fclose(stream.release()) == 0;
    if (!written || !closed) {
        std::filesystem::remove(file);
        Fail(file.string() + ": cannot write the key file");
    }
}

std::vector<std::uint8_t> P256Signer::PublicKey() const {
    std::vector<std::uint8_t> point(kP256PublicKeySize);
    std::size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(state->key, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size(),
                                        &length) != 1 ||
        length != point.size() || point[0] != 0x04)
        Fail("cannot read the public key as an uncompressed point");
    return point;
}

std::vector<std::uint8_t> P256Signer::Sign(std::span<const std::uint8_t> message) const {
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, state->key) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, message.data(), message.size()) != 1)
        Fail("cannot sign");
    std::vector<std::uint8_t> signature(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, message.data(), message.size()) != 1)
        Fail("cannot sign");
    signature.resize(length);
    return signature;
}

}  // namespace ombrelta::patchkit
