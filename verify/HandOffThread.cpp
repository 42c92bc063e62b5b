#include "verify/HandOffThread.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace ombrelta {

HandOffThread::HandOffThread(std::size_t blockSize, Consume consume, bool onOwnThread)
    : consume(std::move(consume)), filling(blockSize), consuming(onOwnThread ? blockSize : 0) {
    if (!onOwnThread)
        return;
    try {
        worker = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // Consumed inline instead: slower, same result.
    }
}

HandOffThread::~HandOffThread() {
    Drain();
    if (!worker.joinable())
        return;
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    worker.join();
}

void HandOffThread::Submit(std::size_t size) {
    copied = 0;
    if (!worker.joinable()) {
        consume(std::span(filling).first(size));
        return;
    }
    std::unique_lock lock(mutex);
    WaitIdle(lock);
    std::swap(filling, consuming);
    pending = size;
    lock.unlock();
    wake.notify_one();
}

void HandOffThread::Copy(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), filling.size() - copied);
        std::memcpy(filling.data() + copied, bytes.data(), take);
        copied += take;
        bytes = bytes.subspan(take);
        if (copied == filling.size())
            Submit(copied);
    }
}

void HandOffThread::Drain() {
    if (copied > 0)
        Submit(copied);
    if (!worker.joinable())
        return;
    std::unique_lock lock(mutex);
    WaitIdle(lock);
}

void HandOffThread::WaitIdle(std::unique_lock<std::mutex>& lock) {
    idle.wait(lock, [&] { return pending == 0; });
}

void HandOffThread::Run() {
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return pending > 0 || stopping; });
        if (pending == 0)
            return;
        const std::span<const std::uint8_t> bytes = std::span(consuming).first(pending);
        lock.unlock();
        consume(bytes);
        lock.lock();
        pending = 0;
        idle.notify_one();
    }
}

}  // namespace ombrelta
