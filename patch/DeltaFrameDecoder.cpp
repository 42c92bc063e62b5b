#include "patch/DeltaFrameDecoder.h"

// ZSTD_d_stableOutBuffer is part of zstd's advanced interface.
#define ZSTD_STATIC_LINKING_ONLY
#include <initializer_list>
#include <string>

#include <zstd.h>

#include "patch/DeltaHeader.h"

namespace ombrelta {
namespace {

ZSTD_DCtx* AsContext(void* context) {
    return static_cast<ZSTD_DCtx*>(context);
}

bool Succeeded(std::size_t status) {
    return ZSTD_isError(status) == 0;
}

std::string ZstdFault(std::size_t status) {
    return std::string("zstd error ") + ZSTD_getErrorName(status);
}

// The first status of steps that failed, or 0.
std::size_t FirstError(std::initializer_list<std::size_t> statuses) {
    for (const std::size_t status : statuses) {
        if (!Succeeded(status))
            return status;
    }
    return 0;
}

}  // namespace

DeltaFrameDecoder::DeltaFrameDecoder(std::span<const std::uint8_t> base, std::span<std::uint8_t> output)
    : context(ZSTD_createDCtx()), output(output) {
    ZSTD_DCtx* dctx = AsContext(context);
    // A stable output buffer is one the decoder may read its matches back from, so it needs no
    // window buffer of its own whatever the window size.
    if (dctx == nullptr) {
        failed = true;
        failure = "zstd has no memory for a decoder";
        return;
    }
    const std::size_t status =
        FirstError({ZSTD_DCtx_setParameter(dctx, ZSTD_d_windowLogMax, kDeltaWindowLogLimit),
                    ZSTD_DCtx_setParameter(dctx, ZSTD_d_stableOutBuffer, 1),
                    ZSTD_DCtx_refPrefix(dctx, base.data(), base.size())});
    failed = status != 0;
    if (failed)
        failure = ZstdFault(status);
}

DeltaFrameDecoder::~DeltaFrameDecoder() {
    ZSTD_freeDCtx(AsContext(context));
}

bool DeltaFrameDecoder::Feed(const std::uint8_t* data, std::size_t size) {
    ZSTD_inBuffer in{data, size, 0};
    // Each call consumes input or writes output; zstd itself fails a call that can do neither
    // a few times in a row, such as a frame longer than the output.
    while (!failed && in.pos < in.size) {
        if (ended) {
            failed = true;
            failure = "bytes follow the end of the delta frame";
            break;
        }
        ZSTD_outBuffer out{output.data(), output.size(), written};
        const std::size_t status = ZSTD_decompressStream(AsContext(context), &out, &in);
        written = out.pos;
        failed = !Succeeded(status);
        if (failed)
            failure = ZstdFault(status);
        ended = status == 0;
    }
    return !failed;
}

bool DeltaFrameDecoder::Complete() const {
    return !failed && ended && written == output.size();
}

std::string DeltaFrameDecoder::Fault() const {
    if (failed)
        return failure;
    if (!ended)
        return "the delta frame ends early";
    if (written != output.size())
        return "the delta frame gives " + std::to_string(written) + " of " + std::to_string(output.size()) +
               " bytes";
    return {};
}

}  // namespace ombrelta
