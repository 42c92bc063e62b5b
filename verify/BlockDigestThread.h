#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/BlockMap.h"

namespace ombrelta {

/// Feeds a BlockDigester on a thread of its own while the reading thread computes the file's own
/// digest, so that the block digests cost no time where a core is free: the reader fills one
/// block-sized buffer while the thread digests the other. Digests on the caller's thread when
/// the system refuses a thread.
class BlockDigestThread {
public:
    explicit BlockDigestThread(BlockDigester digester);
    /// Stops the thread once it has digested what it was handed.
    ~BlockDigestThread();
    BlockDigestThread(const BlockDigestThread&) = delete;
    BlockDigestThread& operator=(const BlockDigestThread&) = delete;

    /// Adds the next bytes of the file; false once the digester refused any.
    [[nodiscard]] bool Feed(const std::uint8_t* data, std::size_t size);
    /// The digest of every block; nothing when the digester refused bytes. Spent afterwards.
    std::optional<std::vector<Md5Digest>> Finish();

private:
    bool HandOff();
    void Run();
    void Stop();

    BlockDigester digester;
    std::vector<std::uint8_t> filling;
    std::vector<std::uint8_t> digesting;
    std::size_t used = 0;
    std::size_t pending = 0;  // bytes of digesting the thread has yet to digest
    bool stopping = false;
    bool failed = false;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::thread worker;
};

}  // namespace ombrelta
