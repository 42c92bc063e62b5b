// Checks a folder of intact game files with the launcher's file check, as its pre-start
// verification runs it, against a loopback server that lists them (names, MD5 texts and sizes
// from an md5sum list). With "hashcache" the check goes through the verified-file cache
// "_verify_cache" in the folder and runs twice, as on two launches: the first run fills the
// cache, the second is measured.
// Usage: verify_bench <folder> <md5sum list> <hashing threads | default> [hashcache]
// Prints the seconds taken, the throughput and the process's peak resident memory.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/FileSystem.h"
#include "common/Socket.h"
#include "common/Text.h"
#include "protocol/LauncherApi.h"
#include "tests/support/LoopbackListener.h"
#include "verify/FileVerifier.h"
#include "verify/VerifiedFileCache.h"

namespace {

using ombrelta::HashEntry;
using Bytes = std::vector<std::uint8_t>;

std::vector<HashEntry> ReadMd5sumList(const std::string& listPath, const std::string& folder) {
    std::ifstream in(listPath);
    std::vector<HashEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 35)
            continue;
        HashEntry entry;
        entry.id = static_cast<std::uint16_t>(entries.size());
        entry.hash = line.substr(0, 32);
        entry.path = line.substr(34);
        auto size = ombrelta::GetFileSize(ombrelta::Utf8ToWide(folder + "/" + entry.path));
        if (!size)
            throw std::runtime_error("cannot stat " + entry.path);
        entry.size = static_cast<std::uint32_t>(*size);
        entries.push_back(entry);
    }
    return entries;
}

void PutU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

Bytes HashListPacket(const std::vector<HashEntry>& entries) {
    Bytes payload;
    PutU16(payload, 40102);
    PutU16(payload, 0);
    payload.push_back(static_cast<std::uint8_t>(entries.size()));
    for (const HashEntry& entry : entries) {
        payload.push_back(static_cast<std::uint8_t>(entry.id));
        for (const std::string* text : {&entry.path, &entry.hash}) {
            payload.push_back(static_cast<std::uint8_t>(text->size()));
            payload.insert(payload.end(), text->begin(), text->end());
        }
        for (int shift = 0; shift < 64; shift += 8)
            payload.push_back(static_cast<std::uint8_t>(std::uint64_t{entry.size} >> shift));
    }
    Bytes packet;
    PutU16(packet, static_cast<std::uint16_t>(payload.size() + 2));
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

// Answers the first request of each connection with the hash list and then only waits for the
// client to leave.
void Serve(ombrelta::SocketHandle listener, const Bytes& packet) {
    ombrelta::SocketHandle connection = ombrelta::AcceptConnection(listener);
    if (connection == ombrelta::kInvalidSocket)
        return;
    std::uint8_t buffer[4096];
    if (ombrelta::ReceiveSome(connection, buffer, sizeof buffer) > 0) {
        std::size_t sent = 0;
        while (sent < packet.size()) {
            int count = ombrelta::SendSome(connection, packet.data() + sent, packet.size() - sent);
            if (count <= 0)
                break;
            sent += static_cast<std::size_t>(count);
        }
    }
    while (ombrelta::ReceiveSome(connection, buffer, sizeof buffer) > 0) {
    }
    ombrelta::CloseSocket(connection);
}

// One check on a connection of its own, through the cache when asked for; throws as the check
// does.
bool CheckOnce(std::uint16_t port, bool hashcache, std::optional<unsigned> threads,
               const ombrelta::ProgressSink& events) {
    ombrelta::LauncherApi api;
    if (!api.Connect(L"127.0.0.1", port))
        throw std::runtime_error("cannot connect to the loopback server");
    const ombrelta::FileCheckSettings settings{.hashThreads = threads, .events = events};
    // The reports are still made, as the window gets them.
    const ombrelta::ProgressCallback progress = [](const std::wstring&, std::int32_t) {};
    if (!hashcache)
        return ombrelta::VerifyAndRepairFiles(api, progress, nullptr, settings);
    ombrelta::VerifiedFileCache cache = ombrelta::VerifiedFileCache::Load(L"_verify_cache");
    const bool passed = ombrelta::VerifyAndRepairFiles(api, progress, &cache, settings);
    return cache.Save() && passed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && !(argc == 5 && std::string(argv[4]) == "hashcache")) {
        std::fprintf(stderr, "usage: verify_bench <folder> <md5sum list> <threads|default> [hashcache]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string threads = argv[3];
    const bool hashcache = argc == 5;
    const int runs = hashcache ? 2 : 1;
    try {
        const std::vector<HashEntry> entries = ReadMd5sumList(argv[2], folder);
        std::optional<unsigned> threadCount;
        if (threads != "default")
            threadCount = static_cast<unsigned>(std::stoul(threads));
        if (chdir(folder.c_str()) != 0)
            throw std::runtime_error("cannot enter " + folder);
        std::remove("_verify_cache");
        ombrelta::SocketHandle listener = ombrelta::kInvalidSocket;
        const auto port = ombrelta::ListenOnLoopback(listener);
        if (!port)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        std::thread server([&, packet = HashListPacket(entries)] {
            for (int run = 0; run < runs; ++run)
                Serve(listener, packet);
        });

        std::size_t checked = 0;
        std::size_t repaired = 0;
        for (int run = 1; run < runs; ++run) {
            if (!CheckOnce(*port, hashcache, threadCount, nullptr))
                throw std::runtime_error("first check failed");
        }
        const ombrelta::ProgressSink count = [&](const ombrelta::ProgressEvent& event) {
            checked += event.kind == ombrelta::ProgressEventKind::FileChecked;
            repaired += event.kind == ombrelta::ProgressEventKind::RepairStarted;
        };
        const auto start = std::chrono::steady_clock::now();
        const bool passed = CheckOnce(*port, hashcache, threadCount, count);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        server.join();
        ombrelta::CloseSocket(listener);

        std::uint64_t bytes = 0;
        for (const HashEntry& entry : entries)
            bytes += entry.size;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf(
            "threads=%s hashcache=%d files=%zu checked=%zu repair-reports=%zu seconds=%.3f MiB/s=%.0f "
            "peak-rss-KiB=%ld\n",
            threads.c_str(), hashcache ? 1 : 0, entries.size(), checked, repaired, seconds,
            bytes / 1048576.0 / seconds, usage.ru_maxrss);
        return passed && checked == entries.size() && repaired == 0 ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "verify_bench: %s\n", error.what());
        return 1;
    }
}
