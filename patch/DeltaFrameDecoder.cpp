#include "patch/DeltaFrameDecoder.h"

// ZSTD_d_stableOutBuffer is part of zstd's advanced interface.
#define ZSTD_STATIC_LINKING_ONLY
#include <string>

#include <zstd.h>

#include "common/FailureNote.h"

#include "patch/DeltaHeader.h"

namespace ombrelta {
namespace {

ZSTD_DCtx* AsContext(void* context) {
    return static_cast<ZSTD_DCtx*>(context);
}

bool Succeeded(std::size_t status) {
    return ZSTD_isError(status) == 0;
}

}  // namespace

DeltaFrameDecoder::DeltaFrameDecoder(std::span<const std::uint8_t> base, std::span<std::uint8_t> output)
    : context(ZSTD_createDCtx()), output(output) {
    ZSTD_DCtx* dctx = AsContext(context);
    // A stable output buffer is one the decoder may read its matches back from, so it needs no
    // window buffer of its own whatever the window size.
    failed = dctx == nullptr ||
             !Succeeded(ZSTD_DCtx_setParameter(dctx, ZSTD_d_windowLogMax, kDeltaWindowLogLimit)) ||
             !Succeeded(ZSTD_DCtx_setParameter(dctx, ZSTD_d_stableOutBuffer, 1)) ||
             !Succeeded(ZSTD_DCtx_refPrefix(dctx, base.data(), base.size()));
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
            break;
        }
        ZSTD_outBuffer out{output.data(), output.size(), written};
        const std::size_t status = ZSTD_decompressStream(AsContext(context), &out, &in);
        written = out.pos;
        failed = !Succeeded(status);
        if (failed)
            NoteFailure(std::string("zstd error ") + ZSTD_getErrorName(status));
        ended = status == 0;
    }
    return !failed;
}

bool DeltaFrameDecoder::Complete() const {
    return !failed && ended && written == output.size();
}

}  // namespace ombrelta
