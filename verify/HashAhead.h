#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/HashEntry.h"
#include "verify/FileHash.h"

namespace ombrelta {

/// Number of threads VerifyAndRepairFiles hashes ahead with unless its settings choose another:
/// the hardware's concurrency, at most 4.
unsigned HashAheadThreadCount();

/// Computes the MD5 digests of a hash list's files on a few threads while one checking thread
/// walks the list in order. A digest computed ahead is handed out only if no file was rewritten
/// since its computation started, so every answer equals ComputeFileMd5 at the time of asking.
/// Holds at most two jobs per thread ahead of the checking thread; the destructor stops the
/// threads between two blocks and joins them.
class HashAhead {
public:
    /// Starts up to threadCount threads over entries [0, end); entries from end on, and those
    /// whose flag in skip is set, are never hashed ahead. Starts fewer (or none) when the system
    /// refuses threads. With blockDigests, files listed with a block map get their block digests
    /// from the same reading.
    HashAhead(const std::vector<HashEntry>& entries,
              std::size_t end,
              unsigned threadCount,
              const std::vector<bool>& skip = {},
              bool blockDigests = false);
    ~HashAhead();
    HashAhead(const HashAhead&) = delete;
    HashAhead& operator=(const HashAhead&) = delete;

    /// The checking thread has come to entry index (indices only grow): work moves past it.
    void Reached(std::size_t index);
    /// The digest of entry index (below end) as ComputeFileMd5 gives it now, with the stamp
    /// taken before its reading; computed on the calling thread when no valid result is ready
    /// or under way.
    HashedFile Digest(std::size_t index);
    /// A file is about to be rewritten: threads pause, every digest so far turns stale, and the
    /// call returns once no thread has a file open.
    void BeginRewrite();
    /// The rewrite is over: threads go on, redoing stale work.
    void EndRewrite();

    /// Pauses hashing for one rewrite: BeginRewrite now, EndRewrite on leaving the scope.
    class RewriteScope {
    public:
        explicit RewriteScope(HashAhead& ahead) : ahead(ahead) { ahead.BeginRewrite(); }
        ~RewriteScope() { ahead.EndRewrite(); }
        RewriteScope(const RewriteScope&) = delete;
        RewriteScope& operator=(const RewriteScope&) = delete;

    private:
        HashAhead& ahead;
    };

private:
    enum class JobState { kPending, kRunning, kDone, kClaimed };
    struct Job {
        std::wstring pathW;
        std::uint32_t size = 0;
        bool withBlocks = false;
        JobState state = JobState::kPending;
        std::uint32_t epoch = 0;
        std::optional<HashedFile> hashed;  // nothing: not needed (missing or size differs)
    };

    void WorkerLoop();
    std::optional<std::size_t> FindWork() const;
    void FinishJob(std::size_t index, std::uint32_t started, bool stopped, std::optional<HashedFile> hashed);

    std::vector<Job> jobs;
    std::size_t window = 0;
    std::size_t next = 0;
    bool paused = false;
    std::size_t running = 0;
    std::atomic<bool> cancelled{false};
    // Bumped around every rewrite; a result is valid only under the epoch it started in.
    std::atomic<std::uint32_t> epoch{0};
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::vector<std::thread> threads;
};

}  // namespace ombrelta
