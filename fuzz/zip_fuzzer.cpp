// Feeds arbitrary bytes to ExtractSignedArchive, which reads every entry and the signature entry
// first, and to ExtractArchive as a patch archive applying delta entries to a base that lies in the
// destination ("data/game.pak", the base of tests/patch/fixtures/delta.zip, a seed), and checks that
// nothing is written outside the destination directory. The base is laid again only after an
// input changed the destination; most inputs leave it as it is. Layout of the scratch area, one
// per process:
//   <scratch>/ombrelta-zip-fuzz-<pid>/archive.zip
//   <scratch>/ombrelta-zip-fuzz-<pid>/up/dest/...   (anything may appear below dest)
// The destination sits two levels down so that names climbing out with ".." land where the
// check below sees them. The scratch folder is /dev/shm when there is one: every input is a few
// file system calls, and on a disk-backed file system the kernel's share of them is most of the
// time spent per input.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "patch/ArchiveExtractor.h"

namespace {

namespace fs = std::filesystem;

// Kept for the whole process (never destroyed), so the exit handler can still remove it.
const fs::path& Area() {
    static const fs::path* area = [] {
        std::error_code error;
        const fs::path scratch =
            fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        auto* path = new fs::path(scratch / ("ombrelta-zip-fuzz-" + std::to_string(::getpid())));
        fs::remove_all(*path);
        fs::create_directories(*path / "up" / "dest");
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(Area(), ignored);
        });
        return path;
    }();
    return *area;
}

// Aborts when anything but the archive and the destination's own folders lies in the area.
// Whatever escaped the destination has an ancestor (or is one) among the children of the area or
// of "up", so those two listings see it.
void CheckNothingEscaped(const fs::path& area) {
    const fs::path up = area / "up";
    const fs::path allowed[] = {area / "archive.zip", up, up / "dest"};
    for (const fs::path& folder : {area, up}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            const fs::path& path = entry.path();
            if (std::find(std::begin(allowed), std::end(allowed), path) != std::end(allowed))
                continue;
            std::fprintf(stderr, "written outside the destination: %s\n", path.c_str());
            std::abort();
        }
    }
}

// The base the seed's delta entry was made from; its bytes reach the decoder only when the
// header's size and SHA-256 match them.
const std::vector<char>& DeltaBaseBytes() {
    static const std::vector<char> base = [] {
        std::ifstream in(OMBRELTA_DELTA_BASE, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    }();
    return base;
}

fs::path DeltaBasePath(const fs::path& dest) {
    return dest / "data" / "game.pak";
}

std::size_t CountChildren(const fs::path& folder) {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        ++count;
    return error ? 0 : count;
}

// Empties the destination and lays the base in it; returns the base's modification time.
fs::file_time_type LayDeltaBase(const fs::path& dest) {
    std::error_code ignored;
    fs::remove_all(dest, ignored);
    fs::create_directories(dest / "data", ignored);
    const std::vector<char>& base = DeltaBaseBytes();
    std::ofstream(DeltaBasePath(dest), std::ios::binary | std::ios::trunc)
        .write(base.data(), static_cast<std::streamsize>(base.size()));
    return fs::last_write_time(DeltaBasePath(dest), ignored);
}

// True when the destination holds the base as laid at laidAt and nothing else. Whatever replaced
// the base got a time of its own: a staging file's, or an entry's stored time to 2 seconds.
bool OnlyTheBase(const fs::path& dest, fs::file_time_type laidAt) {
    std::error_code error;
    const fs::path base = DeltaBasePath(dest);
    return CountChildren(dest) == 1 && CountChildren(dest / "data") == 1 &&
           fs::is_regular_file(base, error) && fs::file_size(base, error) == DeltaBaseBytes().size() &&
           fs::last_write_time(base, error) == laidAt && !error;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path area = Area();
    const fs::path archive = area / "archive.zip";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const fs::path dest = area / "up" / "dest";
    static fs::file_time_type laidAt = LayDeltaBase(dest);
    // No input can carry a valid signature for this key, so this explores the reading up to the
    // check and writes nothing.
    static const std::vector<std::uint8_t> key(65, 0x04);
    (void)ombrelta::ExtractSignedArchive(archive.wstring(), dest.wstring() + L"/",
                                         {.publicKey = key, .version = 1});
    (void)ombrelta::ExtractArchive(archive.wstring(), dest.wstring() + L"/", nullptr,
                                   ombrelta::DeltaEntries::Applied);
    CheckNothingEscaped(area);
    if (!OnlyTheBase(dest, laidAt))
        laidAt = LayDeltaBase(dest);
    return 0;
}
