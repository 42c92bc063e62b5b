#include "tools/check/Terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ombrelta {
namespace {

// Only async-signal-safe calls: the line feed, then the default action of the signal.
extern "C" void EndLineAndStop(int signal) {
    (void)!write(STDOUT_FILENO, "\n", 1);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

}  // namespace

bool StandardOutputIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

std::size_t StandardOutputColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return 80;
    return size.ws_col;
}

void WriteStandardOutput(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (done <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
}

void EndLineOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = EndLineAndStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

}  // namespace ombrelta
