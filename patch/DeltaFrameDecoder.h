#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ombrelta {

/// Decodes one zstd delta frame, fed piece by piece, straight into a buffer of the result's size
/// (a writable file mapping), with the base as the frame's prefix. It keeps no window of its own:
/// matches are copied from the base and from the output already written.
class DeltaFrameDecoder {
public:
    /// base and output must stay in place and unchanged by others until the decoder is gone.
    DeltaFrameDecoder(std::span<const std::uint8_t> base, std::span<std::uint8_t> output);
    ~DeltaFrameDecoder();
    DeltaFrameDecoder(const DeltaFrameDecoder&) = delete;
    DeltaFrameDecoder& operator=(const DeltaFrameDecoder&) = delete;

    /// Decodes the next piece of the frame. False once the frame is damaged, needs a window above
    /// 2^30 bytes, would write beyond the output, or bytes follow its end (Fault tells which).
    bool Feed(const std::uint8_t* data, std::size_t size);
    /// True when the whole frame was decoded and filled the output exactly.
    bool Complete() const;
    /// Why the frame is not complete: zstd's error name ("zstd error " and the name) when zstd
    /// failed, or what is missing or left over; empty once Complete.
    std::string Fault() const;

private:
    void* context = nullptr;
    std::span<std::uint8_t> output;
    std::size_t written = 0;
    bool ended = false;
    bool failed = false;
    std::string failure;
};

}  // namespace ombrelta
