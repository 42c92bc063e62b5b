#include "verify/HashAhead.h"

#include <algorithm>
#include <system_error>

#include "common/BlockMap.h"
#include "common/FileSystem.h"
#include "verify/EntryFile.h"
#include "verify/FileHash.h"

namespace ombrelta {
namespace {

constexpr unsigned kMaxThreads = 4;
constexpr std::size_t kJobsPerThread = 2;

}  // namespace

unsigned HashAheadThreadCount() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
}

HashAhead::HashAhead(const std::vector<HashEntry>& entries,
                     std::size_t end,
                     unsigned threadCount,
                     const std::vector<bool>& skip,
                     bool blockDigests) {
    end = std::min(end, entries.size());
    jobs.resize(end);
    for (std::size_t i = 0; i < end; ++i) {
        jobs[i].pathW = EntryWidePath(entries[i]);
        jobs[i].size = entries[i].size;
        jobs[i].withBlocks = blockDigests && HasBlockMap(entries[i].size);
        // Left to the checking thread, which hashes it only if it asks.
        if (i < skip.size() && skip[i])
            jobs[i].state = JobState::kClaimed;
    }
    const std::size_t count = std::min<std::size_t>(threadCount, end);
    window = count * kJobsPerThread;
    for (std::size_t i = 0; i < count; ++i) {
        try {
            threads.emplace_back(&HashAhead::WorkerLoop, this);
        } catch (const std::system_error&) {
            // Fewer threads only means less hashing ahead; the checking thread does the rest.
            break;
        }
    }
}

HashAhead::~HashAhead() {
    {
        std::lock_guard lock(mutex);
        cancelled = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads)
        thread.join();
}

void HashAhead::Reached(std::size_t index) {
    {
        std::lock_guard lock(mutex);
        next = index;
    }
    wake.notify_all();
}

HashedFile HashAhead::Digest(std::size_t index) {
    std::unique_lock lock(mutex);
    Job& job = jobs.at(index);
    finished.wait(lock, [&] { return job.state != JobState::kRunning || job.epoch != epoch; });
    if (job.state == JobState::kDone && job.epoch == epoch && job.hashed)
        return *job.hashed;
    job.state = JobState::kClaimed;
    const std::wstring pathW = job.pathW;
    const bool withBlocks = job.withBlocks;
    lock.unlock();
    return HashFile(pathW, withBlocks);
}

void HashAhead::BeginRewrite() {
    std::unique_lock lock(mutex);
    paused = true;
    ++epoch;
    // No thread keeps a file open while it is rewritten; they stop within one block.
    finished.wait(lock, [&] { return running == 0; });
}

void HashAhead::EndRewrite() {
    {
        std::lock_guard lock(mutex);
        paused = false;
        ++epoch;
    }
    wake.notify_all();
    finished.notify_all();
}

std::optional<std::size_t> HashAhead::FindWork() const {
    const std::size_t stop = std::min(jobs.size(), next + window);
    for (std::size_t i = next; i < stop; ++i) {
        const Job& job = jobs[i];
        if (job.state == JobState::kPending || (job.state == JobState::kDone && job.epoch != epoch))
            return i;
    }
    return std::nullopt;
}

void HashAhead::WorkerLoop() {
    std::unique_lock lock(mutex);
    for (;;) {
        std::optional<std::size_t> index;
        wake.wait(lock, [&] { return cancelled || (!paused && (index = FindWork())); });
        if (cancelled)
            return;
        Job& job = jobs[*index];
        job.state = JobState::kRunning;
        ++running;
        const std::uint32_t started = epoch;
        job.epoch = started;
        const std::wstring pathW = job.pathW;
        const std::uint32_t size = job.size;
        const bool withBlocks = job.withBlocks;
        lock.unlock();
        std::optional<HashedFile> hashed;
        bool stopped = false;
        // Only files the checking thread will hash are worth reading: it skips missing files
        // and files of another size.
        std::optional<FileStamp> stamp = GetFileStamp(pathW);
        if (stamp && stamp->size == size) {
            hashed = HashFileUntil(pathW, withBlocks, [&] { return cancelled || epoch != started; });
            stopped = !hashed;
            if (hashed)
                hashed->stampBefore = stamp;
        }
        lock.lock();
        FinishJob(*index, started, stopped, std::move(hashed));
    }
}

void HashAhead::FinishJob(std::size_t index,
                          std::uint32_t started,
                          bool stopped,
                          std::optional<HashedFile> hashed) {
    Job& job = jobs[index];
    --running;
    finished.notify_all();
    // The checking thread may have claimed the job meanwhile; then it is no longer ours.
    if (job.state != JobState::kRunning)
        return;
    if (stopped || epoch != started) {
        job.state = JobState::kPending;
    } else {
        job.state = JobState::kDone;
        job.hashed = std::move(hashed);
    }
}

}  // namespace ombrelta
