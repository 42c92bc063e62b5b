#pragma once

#include <filesystem>
#include <string>

namespace ombrelta::patchkit {

/// Asks the server whose process id pidFile holds (as systemd's PIDFile= or a script writes it)
/// to reload its content: SIGHUP. Throws std::runtime_error, naming the file, when it holds no
/// process id or the signal cannot be sent.
void ReloadByPidFile(const std::filesystem::path& pidFile);

/// Runs command through the shell ("systemctl reload ombrelta-server"). Throws
/// std::runtime_error, naming the command, when it cannot run or ends with another code than 0.
void ReloadByCommand(const std::string& command);

}  // namespace ombrelta::patchkit
