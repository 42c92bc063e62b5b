// Extracts one archive with ExtractArchive and prints the wall time, for comparing against
// other extractors on the same archive (see extract-vs-unzip.sh); with --delta its delta entries
// are applied to the files in the destination (see delta-patch.sh).
// Usage: extract_bench <archive> <destination> [--delta]

#include <chrono>
#include <cstdio>
#include <string_view>

#include "common/Text.h"
#include "patch/ArchiveExtractor.h"

int main(int argc, char** argv) {
    const bool delta = argc == 4 && std::string_view(argv[3]) == "--delta";
    if (argc != 3 && !delta) {
        std::fprintf(stderr, "usage: extract_bench <archive> <destination> [--delta]\n");
        return 2;
    }
    const std::wstring archive = ombrelta::Utf8ToWide(argv[1]);
    const std::wstring destination = ombrelta::Utf8ToWide(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    const bool extracted = ombrelta::ExtractArchive(
        archive, destination, nullptr, delta ? ombrelta::DeltaEntries::Applied : ombrelta::DeltaEntries::AsFiles);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("ExtractArchive: %.3f s%s\n", elapsed.count(), extracted ? "" : " (FAILED)");
    return extracted ? 0 : 1;
}
