#include "tests/e2e/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

namespace ombrelta::test {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Runs in the forked child: only async-signal-safe calls until exec.
void SetLimit(int resource, unsigned long value) {
    if (value == 0)
        return;
    rlimit limit{.rlim_cur = value, .rlim_max = value};
    if (setrlimit(resource, &limit) != 0)
        _exit(125);
}

[[noreturn]] void ExecChild(const std::vector<std::string>& argv,
                            const std::string& cwd,
                            int outWrite,
                            int errFd,
                            const ChildOptions& options) {
    SetLimit(RLIMIT_AS, options.addressSpaceLimit);
    SetLimit(RLIMIT_NOFILE, options.descriptorLimit);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    dup2(outWrite, STDOUT_FILENO);
    if (errFd >= 0)
        dup2(errFd, STDERR_FILENO);
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0)
        dup2(devNull, STDIN_FILENO);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0)
        _exit(126);
    execv(args[0], args.data());
    _exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::string& cwd,
                           const std::string& stderrPath,
                           const ChildOptions& options) {
    int pipeFds[2];
    if (argv.empty() || pipe2(pipeFds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "cannot start a child process";
        return;
    }
    int errFd = options.stderrFd;
    if (errFd < 0 && !stderrPath.empty())
        errFd = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid = fork();
    if (pid == 0)
        ExecChild(argv, cwd, pipeFds[1], errFd, options);
    close(pipeFds[1]);
    if (errFd >= 0 && errFd != options.stderrFd)
        close(errFd);
    out = pipeFds[0];
    if (pid < 0)
        ADD_FAILURE() << "fork failed for " << argv[0];
}

ChildProcess::~ChildProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (out >= 0)
        close(out);
}

bool ChildProcess::Fill(Clock::time_point deadline) {
    if (eof || out < 0)
        return false;
    pollfd fd{.fd = out, .events = POLLIN, .revents = 0};
    int ready = 0;
    do {
        ready = poll(&fd, 1, MillisecondsLeft(deadline));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return false;
    char buffer[4096];
    ssize_t count = read(out, buffer, sizeof buffer);
    if (count <= 0) {
        eof = true;
        return false;
    }
    pending.append(buffer, static_cast<std::size_t>(count));
    return true;
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        std::size_t end = pending.find('\n');
        if (end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        if (!Fill(deadline))
            return std::nullopt;
    }
}

std::string ChildProcess::ReadToEnd(std::chrono::milliseconds timeout) {
    Clock::time_point deadline = Clock::now() + timeout;
    while (!eof) {
        if (!Fill(deadline) && !eof) {
            ADD_FAILURE() << "child output did not end in time";
            break;
        }
    }
    std::string all = std::move(pending);
    pending.clear();
    return all;
}

std::uint64_t ChildProcess::BytesRead() const {
    std::ifstream io("/proc/" + std::to_string(pid.load()) + "/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:")
            return value;
    }
    return 0;
}

void ChildProcess::Signal(int signal) {
    const pid_t target = pid;
    if (target > 0)
        kill(target, signal);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid <= 0)
        return -1;
    Clock::time_point deadline = Clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ADD_FAILURE() << "child did not end in time; killed";
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

RunResult RunToEnd(const std::vector<std::string>& argv,
                   const std::string& cwd,
                   std::chrono::milliseconds timeout) {
    ChildProcess child(argv, cwd);
    RunResult result;
    result.out = child.ReadToEnd(timeout);
    result.exitCode = child.Wait(timeout);
    return result;
}

}  // namespace ombrelta::test
