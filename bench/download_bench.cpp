// What the one-chunk-per-round-trip protocol allows: a client that keeps nothing asks for tiny
// answers, then for every chunk of one game file, over the launcher's own LauncherApi.
// Usage: download_bench PORT FILE_ID. Prints "round-trip-us chunks seconds bytes".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "protocol/LauncherApi.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int Run(int port, std::uint16_t fileId) {
    ombrelta::LauncherApi api;
    if (!api.Connect(L"127.0.0.1", port)) {
        std::fprintf(stderr, "download_bench: cannot connect to 127.0.0.1:%d\n", port);
        return 1;
    }
    constexpr int kTinyRequests = 2000;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < kTinyRequests; ++i)
        api.HasNextPatch(0, "UNKNOWN", "UNKNOWN");
    double roundTrip = SecondsSince(start) / kTinyRequests;

    std::uint64_t bytes = 0;
    long chunks = 0;
    bool last = false;
    start = Clock::now();
    while (!last) {
        bytes += api.GetFileChunk(fileId, static_cast<std::uint32_t>(bytes), last).size();
        ++chunks;
    }
    std::printf("%.1f %ld %.3f %llu\n", roundTrip * 1e6, chunks, SecondsSince(start),
                static_cast<unsigned long long>(bytes));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: download_bench PORT FILE_ID\n", stderr);
        return 2;
    }
    try {
        return Run(std::atoi(argv[1]), static_cast<std::uint16_t>(std::atoi(argv[2])));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "download_bench: %s\n", e.what());
        return 1;
    }
}
