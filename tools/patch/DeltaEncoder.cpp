#include "tools/patch/DeltaEncoder.h"

#include <zstd.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/DigestHasher.h"
#include "patch/DeltaHeader.h"
#include "tools/content/PathText.h"

namespace ombrelta::patchkit {
namespace {

std::vector<std::uint8_t> ReadWhole(const std::filesystem::path& path, std::uint64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())) ||
        in.peek() != std::char_traits<char>::eof())
        throw std::runtime_error("cannot read " + PathToUtf8(path));
    return bytes;
}

Sha256Digest DigestOf(const std::vector<std::uint8_t>& bytes) {
    const std::optional<Sha256Digest> digest = Sha256Hasher::Of(bytes);
    if (!digest)
        throw std::runtime_error("SHA-256 is not available");
    return *digest;
}

// The smallest window that reaches from the end of the result back to the start of the base.
int WindowLogFor(std::uint64_t reach) {
    int log = 10;  // zstd's smallest window
    while (log < kDeltaWindowLogLimit && (std::uint64_t{1} << log) < reach)
        ++log;
    return log;
}

struct ContextFree {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

void Check(std::size_t status) {
    if (ZSTD_isError(status))
        throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(status));
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& base, const std::vector<std::uint8_t>& result) {
    const std::unique_ptr<ZSTD_CCtx, ContextFree> context(ZSTD_createCCtx());
    if (!context)
        throw std::runtime_error("zstd: out of memory");
    ZSTD_CCtx* cctx = context.get();
    const int level = result.size() > kLargeDeltaResult ? kLargeDeltaLevel : kDeltaLevel;
    Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level));
    Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_enableLongDistanceMatching, 1));
    Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, WindowLogFor(base.size() + result.size())));
    Check(ZSTD_CCtx_refPrefix(cctx, base.data(), base.size()));
    std::vector<std::uint8_t> frame(ZSTD_compressBound(result.size()));
    const std::size_t size = ZSTD_compress2(cctx, frame.data(), frame.size(), result.data(), result.size());
    Check(size);
    frame.resize(size);
    return frame;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> MakeDelta(const std::filesystem::path& base,
                                                    const std::filesystem::path& result) {
    const std::uint64_t baseSize = std::filesystem::file_size(base);
    const std::uint64_t resultSize = std::filesystem::file_size(result);
    if (baseSize > kDeltaSizeLimit || resultSize > kDeltaSizeLimit)
        return std::nullopt;
    const std::vector<std::uint8_t> baseBytes = ReadWhole(base, baseSize);
    const std::vector<std::uint8_t> resultBytes = ReadWhole(result, resultSize);
    std::vector<std::uint8_t> entry = FormatDeltaHeader({.baseSize = baseSize,
                                                         .baseSha256 = DigestOf(baseBytes),
                                                         .resultSize = resultSize,
                                                         .resultSha256 = DigestOf(resultBytes)});
    const std::vector<std::uint8_t> frame = Compress(baseBytes, resultBytes);
    entry.insert(entry.end(), frame.begin(), frame.end());
    return entry;
}

}  // namespace ombrelta::patchkit
