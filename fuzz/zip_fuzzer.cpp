// Feeds arbitrary bytes to ExtractArchive as a patch archive and checks that nothing is written
// outside the destination directory. Layout of the scratch area, one per process:
//   <tmp>/ombrelta-zip-fuzz-<pid>/archive.zip
//   <tmp>/ombrelta-zip-fuzz-<pid>/up/dest/...   (anything may appear below dest)
// The destination sits two levels down so that names climbing out with ".." land where the
// check below sees them.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <unistd.h>

#include "patch/ArchiveExtractor.h"

namespace {

namespace fs = std::filesystem;

// Kept for the whole process (never destroyed), so the exit handler can still remove it.
const fs::path& Area() {
    static const fs::path* area = [] {
        auto* path =
            new fs::path(fs::temp_directory_path() / ("ombrelta-zip-fuzz-" + std::to_string(::getpid())));
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
void CheckNothingEscaped(const fs::path& area) {
    const std::set<fs::path> allowed = {area / "archive.zip", area / "up", area / "up" / "dest"};
    const fs::path dest = area / "up" / "dest";
    for (auto it = fs::recursive_directory_iterator(area); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == dest) {
            it.disable_recursion_pending();
            continue;
        }
        if (!allowed.contains(it->path())) {
            std::fprintf(stderr, "written outside the destination: %s\n", it->path().c_str());
            std::abort();
        }
    }
}

void ResetDestination(const fs::path& dest) {
    std::error_code ignored;
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
    return 0;
}
