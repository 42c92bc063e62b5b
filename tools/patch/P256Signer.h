#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace ombrelta::patchkit {

/// An ECDSA P-256 private key that signs what the launcher checks with VerifyP256Signature
/// (OpenSSL's EVP). Every failure throws std::runtime_error with a fixed English text.
class P256Signer {
public:
    /// A fresh random key.
    static P256Signer Generate();
    /// The key in a PEM file, as Save writes it or as `openssl ecparam -genkey` does; throws
    /// when the file cannot be read or holds no P-256 private key.
    static P256Signer Load(const std::filesystem::path& file);

    P256Signer(P256Signer&&) noexcept;
    P256Signer& operator=(P256Signer&&) noexcept;
    ~P256Signer();

    /// Writes the key as PEM to a new file that only its owner may read; refuses to replace an
    /// existing file (a lost key cannot be made again) and leaves no file when writing fails.
    void Save(const std::filesystem::path& file) const;
    /// The public key as the uncompressed 65-byte point that "publickey=" carries in base64.
    std::vector<std::uint8_t> PublicKey() const;
    /// The DER-encoded signature of the SHA-256 of message.
    std::vector<std::uint8_t> Sign(std::span<const std::uint8_t> message) const;

private:
    struct State;
    explicit P256Signer(std::unique_ptr<State> state);
    std::unique_ptr<State> state;
};

}  // namespace ombrelta::patchkit
