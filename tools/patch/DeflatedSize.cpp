#include "tools/patch/DeflatedSize.h"

#include <zlib.h>

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

}  // namespace

std::uint64_t DeflatedSize(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + PathToUtf8(file));
    Deflater deflater;
    std::array<char, 64 * 1024> buffer;
    while (in) {
        in.read(buffer.data(), buffer.size());
        deflater.Feed(buffer.data(), static_cast<std::size_t>(in.gcount()), in ? Z_NO_FLUSH : Z_FINISH);
    }
    if (in.bad())
        throw std::runtime_error("cannot read " + PathToUtf8(file));
    return deflater.produced;
}

}  // namespace ombrelta::patchkit
