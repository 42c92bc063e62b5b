// Feeds arbitrary bytes to ExtractArchive as a patch archive, once as is and once applying delta
// entries to a base laid out first ("data/game.pak", the base of tests/patch/fixtures/delta.zip,
// a seed), and to ExtractSignedArchive, which reads every entry and the signature entry first, and
// checks that nothing is written outside the destination directory. Layout of the scratch area, one per process:
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
void LayDeltaBase(const fs::path& dest) {
    static const std::vector<char> base = [] {
        std::ifstream in(OMBRELTA_DELTA_BASE, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    }();
    std::error_code ignored;
    fs::create_directories(dest / "data", ignored);
    std::ofstream(dest / "data" / "game.pak", std::ios::binary | std::ios::trunc)
        .write(base.data(), static_cast<std::streamsize>(base.size()));
}

// Most inputs are refused before anything is written; their destination stays as it is.
void ResetDestination(const fs::path& dest) {
    std::error_code ignored;
    if (fs::is_empty(dest, ignored))
        return;
    fs::remove_all(dest, ignored);
    fs::create_directories(dest, ignored);
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
    (void)ombrelta::ExtractArchive(archive.wstring(), dest.wstring() + L"/");
    CheckNothingEscaped(area);
    ResetDestination(dest);
    LayDeltaBase(dest);
    (void)ombrelta::ExtractArchive(archive.wstring(), dest.wstring() + L"/", nullptr, ombrelta::DeltaEntries::Applied);
    CheckNothingEscaped(area);
    ResetDestination(dest);
    // No input can carry a valid signature for this key, so this explores the reading up to the check.
    static const std::vector<std::uint8_t> key(65, 0x04);
    (void)ombrelta::ExtractSignedArchive(archive.wstring(), dest.wstring() + L"/", {.publicKey = key, .version = 1});
    CheckNothingEscaped(area);
    ResetDestination(dest);
    return 0;
}
