#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/HttpClient.h"

namespace ombrelta {

/// The web servers (`mirror`) that may serve the bytes of patches and game files before the
/// launcher server does, each with its own kept-alive connection, and which of them failed in
/// the current run.
class MirrorSet {
public:
    /// Told one line for a log: which source served a file, and why a mirror failed.
    using Log = std::function<void(const std::string& line)>;

    /// bases: base URLs without a trailing '/' (ParseMirrorBases).
    explicit MirrorSet(std::vector<std::string> bases);

    void SetLog(Log log) { this->log = std::move(log); }
    /// Forgets the failures of an earlier run; the connections stay.
    void StartRun();

    std::size_t Count() const { return bases.size(); }
    /// The first mirror from index on that has not failed in this run; Count() when none.
    std::size_t NextUsable(std::size_t index) const;
    const std::string& Base(std::size_t index) const { return bases[index]; }
    /// The client of a mirror, made on first use.
    HttpClient& Client(std::size_t index);

    /// Keeps the mirror out of the rest of the run, logging the reason with the file's name.
    void Failed(std::size_t index, const std::string& reason, const std::string& name);
    /// Logs that a mirror (or, without one, the launcher server) served the file name.
    void Served(const std::string& name, std::optional<std::size_t> mirror) const;

private:
    std::vector<std::string> bases;
    std::vector<std::unique_ptr<HttpClient>> clients;
    std::vector<bool> failed;
    Log log;
};

}  // namespace ombrelta
