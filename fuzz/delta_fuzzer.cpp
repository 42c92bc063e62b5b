// Feeds arbitrary bytes to the delta entry's header parser and then, as the frame, to the delta
// decoder. A header that parses must format back to the same bytes; the frame is decoded with a
// fixed base into an output of the header's result size (at most 1 MiB here), and must never
// write outside it.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "patch/DeltaFrameDecoder.h"
#include "patch/DeltaHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const std::optional<ombrelta::DeltaHeader> header = ombrelta::ParseDeltaHeader(input);
    std::uint64_t resultSize = 4096;
    if (header) {
        const std::vector<std::uint8_t> again = ombrelta::FormatDeltaHeader(*header);
        if (!std::equal(again.begin(), again.end(), data))
            std::abort();
        resultSize = std::min<std::uint64_t>(header->resultSize, 1 << 20);
    }
    static const std::vector<std::uint8_t> base = [] {
        std::vector<std::uint8_t> bytes(8192);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 7));
        return bytes;
    }();
    std::vector<std::uint8_t> output(static_cast<std::size_t>(resultSize));
    ombrelta::DeltaFrameDecoder decoder(base, output);
    const std::size_t frameStart = std::min(size, ombrelta::kDeltaHeaderSize);
    // In two pieces, as the zip reader hands it over.
    const std::size_t half = frameStart + (size - frameStart) / 2;
    if (decoder.Feed(data + frameStart, half - frameStart))
        (void)decoder.Feed(data + half, size - half);
    (void)decoder.Complete();
    return 0;
}
