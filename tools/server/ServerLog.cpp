#include "tools/server/ServerLog.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "tools/server/StandardError.h"

namespace ombrelta::server {
namespace {

using Clock = std::chrono::steady_clock;

// Long enough for the writer to pass on the last lines to a stderr that is read at all.
constexpr auto kDrainTime = std::chrono::milliseconds(250);
// A sweep of finished series runs when this many are kept, at most once per window.
constexpr std::size_t kSeriesSweepSize = 1024;

struct Series {
    Clock::time_point windowStart;
    int lines = 0;
    std::uint64_t leftOut = 0;
};

}  // namespace

struct ServerLog::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable drained;
    std::deque<std::string> queue;
    std::uint64_t dropped = 0;
    bool closing = false;
    bool writing = false;
    ServerMetrics* metrics = nullptr;
    std::size_t capacity;
    int seriesLines;
    Clock::duration seriesWindow;
    std::unordered_map<std::string, Series> series;
    Clock::time_point nextSweep;

    // Caller holds the mutex. The note on dropped lines may pass the capacity by one, so it is
    // never lost itself.
    void Drop() noexcept {
        ++dropped;
        metrics->LogLineDropped();
    }

    // A line that finds no memory is dropped like one that finds no room.
    void Push(std::string text) noexcept {
        try {
            if (queue.size() >= capacity) {
                Drop();
                return;
            }
            if (dropped > 0) {
                queue.push_back("ombrelta-server: " + std::to_string(dropped) + " log lines dropped");
                dropped = 0;
            }
            queue.push_back(std::move(text));
        } catch (const std::bad_alloc&) {
            Drop();
        }
        wake.notify_one();
    }

    void NoteLeftOut(const std::string& key, const Series& entry) {
        if (entry.leftOut > 0)
            Push(key + ": " + std::to_string(entry.leftOut) + " more lines left out");
    }

    void SweepSeries(Clock::time_point now) {
        if (series.size() < kSeriesSweepSize || now < nextSweep)
            return;
        nextSweep = now + seriesWindow;
        for (auto it = series.begin(); it != series.end();) {
            if (now - it->second.windowStart < seriesWindow) {
                ++it;
                continue;
            }
            NoteLeftOut(it->first, it->second);
            it = series.erase(it);
        }
    }

    void Limit(const std::string& key, std::string text) {
        Clock::time_point now = Clock::now();
        SweepSeries(now);
        Series& entry = series[key];
        if (now - entry.windowStart >= seriesWindow) {
            NoteLeftOut(key, entry);
            entry = Series{.windowStart = now};
        }
        if (entry.lines >= seriesLines) {
            ++entry.leftOut;
            return;
        }
        ++entry.lines;
        Push(std::move(text));
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return closing || !queue.empty(); });
            if (queue.empty())
                break;
            std::deque<std::string> batch;
            batch.swap(queue);
            writing = true;
            lock.unlock();
            std::string text;
            for (std::string& line : batch)
                text.append(line).push_back('\n');
            WriteStandardError(text);
            lock.lock();
            writing = false;
        }
        drained.notify_all();
    }
};

ServerLog::ServerLog(ServerMetrics& metrics,
                     std::size_t capacity,
                     int seriesLines,
                     std::chrono::seconds seriesWindow)
    : shared(std::make_shared<Shared>()) {
    shared->metrics = &metrics;
    shared->capacity = capacity;
    shared->seriesLines = seriesLines;
    shared->seriesWindow = seriesWindow;
    // Detached and owning the shared state: a writer stuck on a full pipe must not keep the
    // process from ending.
    std::thread([shared = shared] { shared->Run(); }).detach();
}

ServerLog::~ServerLog() {
    std::unique_lock<std::mutex> lock(shared->mutex);
    try {
        for (const auto& [key, entry] : shared->series)
            shared->NoteLeftOut(key, entry);
        if (shared->dropped > 0)
            shared->queue.push_back("ombrelta-server: " + std::to_string(shared->dropped) +
                                    " log lines dropped");
    } catch (const std::bad_alloc&) {
        // The closing notes are lost; the lines before them still go out.
    }
    shared->closing = true;
    shared->wake.notify_one();
    shared->drained.wait_for(lock, kDrainTime, [&] { return shared->queue.empty() && !shared->writing; });
}

void ServerLog::Line(std::string text) noexcept {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->Push(std::move(text));
}

void ServerLog::LimitedLine(const std::string& key, std::string text) noexcept {
    std::lock_guard<std::mutex> lock(shared->mutex);
    try {
        shared->Limit(key, std::move(text));
    } catch (const std::bad_alloc&) {
        shared->Drop();
    }
}

}  // namespace ombrelta::server
