#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "common/BlockMap.h"

namespace ombrelta {

/// Feeds a BlockDigester on a thread of its own while the reading thread computes the file's own
/// digest, so that the block digests cost no time where a core is free: the reader fills one
/// block-sized buffer while the thread digests the other, without copying. Digests on the
/// caller's thread when the system refuses a thread.
class BlockDigestThread {
public:
    explicit BlockDigestThread(BlockDigester digester);
    /// Stops the thread once it has digested what it was handed.
    ~BlockDigestThread();
    BlockDigestThread(const BlockDigestThread&) = delete;
    BlockDigestThread& operator=(const BlockDigestThread&) = delete;

    /// The buffer (one block long) to read the file's next bytes into.
    std::span<std::uint8_t> Next() { return filling; }
    /// Hands the first size bytes of Next() to the thread: a whole block unless they are the
    /// file's last. Waits while the thread still digests the block before.
    void Submit(std::size_t size);
    /// The digest of every block; nothing when the digester refused bytes. Spent afterwards.
    std::optional<std::vector<BlockDigest>> Finish();

private:
    void Run();
    void Stop();

    BlockDigester digester;
    std::vector<std::uint8_t> filling;
    std::vector<std::uint8_t> digesting;
    std::size_t pending = 0;  // bytes of digesting the thread has yet to digest
    bool stopping = false;
    bool failed = false;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::thread worker;
};

}  // namespace ombrelta
