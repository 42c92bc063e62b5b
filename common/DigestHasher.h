#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>

namespace ombrelta {

enum class DigestAlgorithm { Md5, Sha256 };

/// A digest fed block by block (CryptoAPI, or the processor's SHA instructions for SHA-256, on
/// Windows; OpenSSL's EVP elsewhere); used as `Md5Hasher` and `Sha256Hasher`.
template <DigestAlgorithm algorithm, std::size_t digestSize>
class DigestHasher {
public:
    using Digest = std::array<std::uint8_t, digestSize>;

    /// A hasher ready for data, or nothing when the system cannot provide one.
    static std::optional<DigestHasher> Create();

    DigestHasher(DigestHasher&&) noexcept = default;
    DigestHasher& operator=(DigestHasher&&) noexcept = default;
    ~DigestHasher() = default;

    /// Adds bytes to the digest; false when the system refuses them or the hasher is spent.
    [[nodiscard]] bool Update(const std::uint8_t* data, std::size_t size) {
        return state && UpdateState(*state, data, size);
    }
    /// The digest of everything added; nothing on failure. The hasher is spent afterwards.
    std::optional<Digest> Finish() {
        if (!state)
            return std::nullopt;
        const StatePtr spent = std::move(state);
        return FinishState(*spent);
    }

    /// The digest of bytes held in memory; nothing when the system cannot make one.
    static std::optional<Digest> Of(std::span<const std::uint8_t> bytes) {
        std::optional<DigestHasher> hasher = Create();
        if (!hasher || !hasher->Update(bytes.data(), bytes.size()))
            return std::nullopt;
        return hasher->Finish();
    }

private:
    struct State;
    // Each host defines it beside its State, so the special members above need no complete type.
    struct StateDeleter {
        void operator()(State* state) const;
    };
    using StatePtr = std::unique_ptr<State, StateDeleter>;

    explicit DigestHasher(StatePtr state) : state(std::move(state)) {}
    // The host's own steps of Update and Finish.
    static bool UpdateState(State& state, const std::uint8_t* data, std::size_t size);
    static std::optional<Digest> FinishState(State& state);

    StatePtr state;
};

using Md5Hasher = DigestHasher<DigestAlgorithm::Md5, 16>;
using Sha256Hasher = DigestHasher<DigestAlgorithm::Sha256, 32>;
using Md5Digest = Md5Hasher::Digest;
using Sha256Digest = Sha256Hasher::Digest;

// Both are built once, in the host's DigestHasher file.
extern template class DigestHasher<DigestAlgorithm::Md5, 16>;
extern template class DigestHasher<DigestAlgorithm::Sha256, 32>;

}  // namespace ombrelta
