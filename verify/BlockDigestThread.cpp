#include "verify/BlockDigestThread.h"

#include <system_error>

namespace ombrelta {

BlockDigestThread::BlockDigestThread(BlockDigester digester)
    : digester(std::move(digester)), filling(kMapBlockSize), digesting(kMapBlockSize) {
    try {
        worker = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // Digested inline instead: slower, same digests.
    }
}

BlockDigestThread::~BlockDigestThread() {
    Stop();
}

void BlockDigestThread::Submit(std::size_t size) {
    if (!worker.joinable()) {
        failed = failed || !digester.Update(filling.data(), size);
        return;
    }
    std::unique_lock lock(mutex);
    idle.wait(lock, [&] { return pending == 0; });
    std::swap(filling, digesting);
    pending = size;
    lock.unlock();
    wake.notify_one();
}

std::optional<std::vector<BlockDigest>> BlockDigestThread::Finish() {
    Stop();
    if (failed)
        return std::nullopt;
    return digester.Finish();
}

void BlockDigestThread::Run() {
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return pending > 0 || stopping; });
        if (pending == 0)
            return;
        const std::size_t size = pending;
        lock.unlock();
        const bool digested = digester.Update(digesting.data(), size);
        lock.lock();
        failed = failed || !digested;
        pending = 0;
        idle.notify_one();
    }
}

void BlockDigestThread::Stop() {
    if (!worker.joinable())
        return;
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    worker.join();
}

}  // namespace ombrelta
