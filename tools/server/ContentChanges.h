#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace ombrelta::server {

/// Content files found changed on disk since they were loaded, over the server's whole life:
/// each is counted and handed to the reaction set (logging it and reloading, say).
class ContentChanges {
public:
    using Reaction = std::function<void(const std::string& what)>;

    /// Counts a change of the file named what ("file a.bin", "patch 2.zip") and calls the
    /// reaction, if one is set. Callable from any thread.
    void Report(const std::string& what);
    /// Sets the reaction (an empty one: none); returns once no call of the previous one runs.
    void React(Reaction newReaction);
    /// Changes reported so far.
    std::uint64_t Count() const { return count.load(); }

private:
    std::atomic<std::uint64_t> count{0};
    std::mutex mutex;
    Reaction reaction;
};

}  // namespace ombrelta::server
