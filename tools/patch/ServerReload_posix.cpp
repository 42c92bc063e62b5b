#include "tools/patch/ServerReload.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "common/Decimal.h"
#include "tools/content/PathText.h"

namespace ombrelta::patchkit {

void ReloadByPidFile(const std::filesystem::path& pidFile) {
    std::ifstream in(pidFile);
    std::string line;
    std::getline(in, line);
    const std::optional<std::int64_t> pid = ParseSignedDecimal<std::int64_t>(line);
    if (!in || !pid || *pid <= 1 || *pid > 0x7FFFFFFF)
        throw std::runtime_error("no process id in " + PathToUtf8(pidFile));
    if (::kill(static_cast<pid_t>(*pid), SIGHUP) != 0)
        throw std::runtime_error("cannot signal process " + std::to_string(*pid) + " of " +
                                 PathToUtf8(pidFile) + ": " + std::strerror(errno));
}

void ReloadByCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("reload command failed: " + command);
}

}  // namespace ombrelta::patchkit
