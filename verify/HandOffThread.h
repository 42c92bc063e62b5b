#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace ombrelta {

/// Runs consume over blocks of bytes on a thread of its own while the caller fills the next
/// block, so that a digest costs no time where a core is free: two buffers of blockSize bytes
/// swap between them. Consumes on the caller's thread when the system refuses a thread; consume
/// must not throw.
class HandOffThread {
public:
    using Consume = std::function<void(std::span<const std::uint8_t> bytes)>;

    /// Without onOwnThread, every block is consumed on the caller's thread as it is handed over
    /// (for work too small to pay for a thread).
    HandOffThread(std::size_t blockSize, Consume consume, bool onOwnThread = true);
    /// Consumes what was handed over, then stops the thread.
    ~HandOffThread();
    HandOffThread(const HandOffThread&) = delete;
    HandOffThread& operator=(const HandOffThread&) = delete;

    /// The buffer (blockSize bytes) to fill with the next bytes, then handed over by Submit.
    std::span<std::uint8_t> Next() { return filling; }
    /// Hands the first size bytes of Next() over; waits while the block before is being consumed.
    void Submit(std::size_t size);
    /// Adds bytes through a copy into Next(), handing each block over once it is full.
    void Copy(std::span<const std::uint8_t> bytes);
    /// Hands over what Copy holds and waits until every byte handed over is consumed.
    void Drain();

private:
    void Run();
    void WaitIdle(std::unique_lock<std::mutex>& lock);

    Consume consume;
    std::vector<std::uint8_t> filling;
    std::vector<std::uint8_t> consuming;
    std::size_t copied = 0;   // bytes of filling Copy holds
    std::size_t pending = 0;  // bytes of consuming the thread has yet to consume
    bool stopping = false;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::thread worker;
};

}  // namespace ombrelta
