#pragma once

#include <sys/types.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ombrelta::test {

/// What a child gets besides its command line: limits set before exec (0: inherited) and an
/// already open descriptor for stderr (-1: stderrPath, or inherited).
struct ChildOptions {
    unsigned long addressSpaceLimit = 0;
    unsigned long descriptorLimit = 0;
    int stderrFd = -1;
};

/// A program run by a test: stdout is read through a pipe, stderr goes to a file (or is
/// inherited). The destructor kills and reaps a child that is still running.
class ChildProcess {
public:
    /// Starts argv[0] (a path) with the arguments, in directory cwd. Fails the test and returns an
    /// object that is not running when the program cannot be started.
    ChildProcess(const std::vector<std::string>& argv,
                 const std::string& cwd,
                 const std::string& stderrPath = "",
                 const ChildOptions& options = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// The next stdout line without its line feed; nothing at the end of output or when no
    /// line arrives within timeout.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    /// Everything left on stdout up to its end; stops early (a test failure) after timeout.
    std::string ReadToEnd(std::chrono::milliseconds timeout);
    /// Sends a signal to the child.
    void Signal(int signal);
    /// Bytes the child has read so far, as the kernel counts them (reads of files and pipes);
    /// 0 when it cannot tell.
    std::uint64_t BytesRead() const;
    /// The exit code, or 128 + the signal that ended the child; kills the child (a test
    /// failure) when it has not ended within timeout.
    int Wait(std::chrono::milliseconds timeout);

private:
    bool Fill(std::chrono::steady_clock::time_point deadline);

    // Signal may come from another thread (a proxy's hook) while the test waits.
    std::atomic<pid_t> pid = -1;
    int out = -1;
    std::string pending;
    bool eof = false;
};

/// Output and exit code of a program run to its end.
struct RunResult {
    int exitCode = -1;
    std::string out;
};

/// Runs a program to its end (at most timeout), collecting its stdout.
RunResult RunToEnd(const std::vector<std::string>& argv,
                   const std::string& cwd,
                   std::chrono::milliseconds timeout);

}  // namespace ombrelta::test
