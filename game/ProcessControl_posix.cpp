#include "game/ProcessControl.h"

#include "common/FileSystem.h"
#include "common/Text.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace ombrelta {
namespace {

// Splits a command line into words the way Windows programs read theirs, minus the backslash
// rules: blanks separate words, double quotes group blanks into a word and are dropped.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i == line.size())
            break;
        std::wstring word;
        bool quoted = false;
        for (; i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t')); ++i) {
            if (line[i] == L'"')
                quoted = !quoted;
            else
                word += line[i];
        }
        words.push_back(std::move(word));
    }
    return words;
}

/// Owns posix_spawn's file actions.
class SpawnActions {
public:
    SpawnActions() { ok = posix_spawn_file_actions_init(&actions) == 0; }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() {
        if (ok)
            posix_spawn_file_actions_destroy(&actions);
    }
    bool ChangeDirectory(const std::string& directory) {
        return ok && posix_spawn_file_actions_addchdir_np(&actions, directory.c_str()) == 0;
    }
    const posix_spawn_file_actions_t* Get() const { return &actions; }

private:
    posix_spawn_file_actions_t actions{};
    bool ok = false;
};

std::optional<std::string> ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An ended child that nobody has waited for yet still shows in /proc; it is not running.
bool IsZombie(const std::string& procDir) {
    std::optional<std::string> stat = ReadSmallFile(procDir + "/stat");
    if (!stat)
        return true;
    std::size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size())
        return true;
    char state = (*stat)[close + 2];
    return state == 'Z' || state == 'X';
}

// The executable's file name; "comm" (cut to 15 bytes by the kernel) when the link is hidden.
std::string ExecutableName(const std::string& procDir) {
    std::string target(4096, '\0');
    ssize_t length = ::readlink((procDir + "/exe").c_str(), target.data(), target.size());
    if (length > 0 && static_cast<std::size_t>(length) < target.size()) {
        target.resize(static_cast<std::size_t>(length));
        static constexpr std::string_view kDeleted = " (deleted)";
        if (target.ends_with(kDeleted))
            target.resize(target.size() - kDeleted.size());
        return target.substr(target.find_last_of('/') + 1);
    }
    std::string comm = ReadSmallFile(procDir + "/comm").value_or(std::string());
    while (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    return comm;
}

std::optional<std::uint32_t> ParsePid(const char* name) {
    if (*name == '\0')
        return std::nullopt;
    char* end = nullptr;
    unsigned long pid = std::strtoul(name, &end, 10);
    if (*end != '\0' || pid == 0 || pid > 0xFFFFFFFFul)
        return std::nullopt;
    return static_cast<std::uint32_t>(pid);
}

}  // namespace

bool LaunchProcess(const std::wstring& commandLine, const std::wstring& workingDirectory) {
    if (workingDirectory.size() > kMaxWorkingDirectoryLength)
        return false;
    std::vector<std::wstring> words = SplitCommandLine(commandLine);
    if (words.empty() || words.front().empty())
        return false;
    std::vector<std::string> arguments;
    arguments.push_back(ToNativePath(words.front()).string());
    for (std::size_t i = 1; i < words.size(); ++i)
        arguments.push_back(WideToUtf8(words[i]));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnActions actions;
    if (!actions.ChangeDirectory(ToNativePath(workingDirectory).string()))
        return false;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0)
        return false;
    // Nobody else waits for the game; reaping it here keeps no zombie behind once it ends. The
    // game runs either way, so a reaper that cannot be started only costs a zombie later.
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
    }
    return true;
}

bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit) {
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    std::unique_ptr<DIR, int (*)(DIR*)> closer(proc, ::closedir);
    while (const dirent* item = ::readdir(proc)) {
        std::optional<std::uint32_t> pid = ParsePid(item->d_name);
        if (!pid)
            continue;
        std::string procDir = std::string("/proc/") + item->d_name;
        if (IsZombie(procDir))
            continue;
        std::string name = ExecutableName(procDir);
        if (name.empty())
            continue;
        if (!visit(ProcessEntry{.id = *pid, .exeName = Utf8ToWide(name)}))
            break;
    }
    return true;
}

bool TerminateProcessById(std::uint32_t id) {
    if (id == 0 || id > static_cast<std::uint32_t>(INT32_MAX))
        return false;
    return ::kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] &&
            std::towupper(static_cast<std::wint_t>(a[i])) != std::towupper(static_cast<std::wint_t>(b[i])))
            return false;
    }
    return true;
}

std::uint32_t CurrentTickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t ms =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace ombrelta
