// Console output and process liveness on POSIX.
#include "platform/console.hpp"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace varnolt::platform {
namespace {

std::mutex& ConsoleLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

bool WriteConsole(std::initializer_list<std::string_view> pieces) {
    // One write per unit where possible, so that other writers of the same
    // terminal or pipe (the front end) see whole lines.
    std::string unit;
    for (const auto piece : pieces) {
        unit.append(piece);
    }
    const std::lock_guard lock(ConsoleLock());
    std::string_view rest = unit;
    while (!rest.empty()) {
        const ssize_t done = ::write(STDOUT_FILENO, rest.data(), rest.size());
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        rest.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

bool IsProcessAlive(long pid) {
    if (pid <= 0 || pid != static_cast<pid_t>(pid)) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void IgnoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace varnolt::platform
