#include "tools/patch/DeltaEncoder.h"

#include <zstd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

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

// Each worker compresses a job of this much of the result at a time; long-distance matching
// still finds the base's matches for every job.
constexpr int kJobSize = 16 << 20;
// The result goes in slices of this size, each followed by a progress report.
constexpr std::size_t kSlice = 4 << 20;

int Workers() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

void Configure(ZSTD_CCtx* cctx, const std::vector<std::uint8_t>& base, const std::vector<std::uint8_t>& result) {
    Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, DeltaLevelFor(result.size())));
    Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_enableLongDistanceMatching, 1));
    Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, WindowLogFor(base.size() + result.size())));
    // A library built without threads refuses workers; it then compresses on this thread alone.
    if (!ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_nbWorkers, Workers())))
        Check(ZSTD_CCtx_setParameter(cctx, ZSTD_c_jobSize, kJobSize));
    Check(ZSTD_CCtx_setPledgedSrcSize(cctx, result.size()));
    Check(ZSTD_CCtx_refPrefix(cctx, base.data(), base.size()));
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& base,
                                   const std::vector<std::uint8_t>& result,
                                   const DeltaProgress& progress) {
    const std::unique_ptr<ZSTD_CCtx, ContextFree> context(ZSTD_createCCtx());
    if (!context)
        throw std::runtime_error("zstd: out of memory");
    Configure(context.get(), base, result);
    // The frame grows as it comes out: a delta is mostly far smaller than its bound.
    std::vector<std::uint8_t> frame;
    std::vector<std::uint8_t> buffer(ZSTD_CStreamOutSize());
    ZSTD_inBuffer in{result.data(), 0, 0};
    for (;;) {
        in.size = std::min(result.size(), in.pos + kSlice);
        const ZSTD_EndDirective mode = in.size == result.size() ? ZSTD_e_end : ZSTD_e_continue;
        std::size_t left = 0;
        do {
            ZSTD_outBuffer out{buffer.data(), buffer.size(), 0};
            left = ZSTD_compressStream2(context.get(), &out, &in, mode);
            Check(left);
            frame.insert(frame.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(out.pos));
        } while (mode == ZSTD_e_end ? left != 0 : in.pos < in.size);
        if (progress)
            progress(in.pos);
        if (mode == ZSTD_e_end)
            return frame;
    }
}

}  // namespace

int DeltaLevelFor(std::uint64_t resultSize) {
    // Above 4 MiB, one entry per doubling of the size.
    constexpr std::array<int, 8> kLevels = {19, 17, 15, 12, 9, 7, 5, 3};
    std::size_t step = 0;
    for (std::uint64_t bound = std::uint64_t{4} << 20; resultSize > bound && step + 1 < kLevels.size(); bound *= 2)
        ++step;
    return kLevels[step];
}

std::optional<std::vector<std::uint8_t>> MakeDelta(const std::filesystem::path& base,
                                                    const std::filesystem::path& result,
                                                    const DeltaProgress& progress) {
    if (progress)
        progress(0);
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
    const std::vector<std::uint8_t> frame = Compress(baseBytes, resultBytes, progress);
    entry.insert(entry.end(), frame.begin(), frame.end());
    return entry;
}

}  // namespace ombrelta::patchkit
