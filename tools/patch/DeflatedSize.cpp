#include "tools/patch/DeflatedSize.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>

#include "tools/content/PathText.h"

namespace ombrelta::patchkit {
namespace {

class Deflater {
public:
    Deflater() {
        if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("zlib: deflate cannot start");
    }
    ~Deflater() { deflateEnd(&stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Feeds size bytes (flush: Z_FINISH for the last ones) and counts what comes out.
    void Feed(char* data, std::size_t size, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(size);
        int status = Z_OK;
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            status = deflate(&stream, flush);
            produced += out.size() - stream.avail_out;
        } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    }

    std::uint64_t produced = 0;

private:
    z_stream stream{};
    std::array<Bytef, 64 * 1024> out{};
};

// The least of a file deflated before the rest is estimated from it: deflate holds back up to a
// block of input (some 16 KiB of symbols), which must not weigh in the ratio.
constexpr std::uint64_t kSampleForEstimate = std::uint64_t{8} << 20;

}  // namespace

std::uint64_t DeflatedSize(const std::filesystem::path& file, std::uint64_t enough) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + PathToUtf8(file));
    const std::uint64_t size = std::filesystem::file_size(file);
    Deflater deflater;
    std::array<char, 64 * 1024> buffer;
    std::uint64_t read = 0;
    while (in) {
        in.read(buffer.data(), buffer.size());
        read += static_cast<std::uint64_t>(in.gcount());
        deflater.Feed(buffer.data(), static_cast<std::size_t>(in.gcount()), in ? Z_NO_FLUSH : Z_FINISH);
        if (deflater.produced > enough && read >= kSampleForEstimate && in)
            return std::max(enough + 1, static_cast<std::uint64_t>(static_cast<double>(deflater.produced) *
                                                                   static_cast<double>(size) / static_cast<double>(read)));
    }
    if (in.bad())
        throw std::runtime_error("cannot read " + PathToUtf8(file));
    return deflater.produced;
}

}  // namespace ombrelta::patchkit
