#include "verify/BlockDigestThread.h"

#include <algorithm>
#include <cstring>
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

bool BlockDigestThread::Feed(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const std::size_t take = std::min(size, filling.size() - used);
        std::memcpy(filling.data() + used, data, take);
        used += take;
        data += take;
        size -= take;
        if (used == filling.size() && !HandOff())
            return false;
    }
    return true;
}

std::optional<std::vector<Md5Digest>> BlockDigestThread::Finish() {
    const bool handed = used == 0 || HandOff();
    Stop();
    if (!handed || failed)
        return std::nullopt;
    return digester.Finish();
}

bool BlockDigestThread::HandOff() {
    if (!worker.joinable()) {
        failed = failed || !digester.Update(filling.data(), used);
        used = 0;
        return !failed;
    }
    std::unique_lock lock(mutex);
    idle.wait(lock, [&] { return pending == 0; });
    if (failed)
        return false;
    std::swap(filling, digesting);
    pending = used;
    used = 0;
    lock.unlock();
    wake.notify_one();
    return true;
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
