// Process start and wait with posix_spawn and waitpid.
#include "platform/process.hpp"

#include "platform/paths.hpp"
#include "platform/stop_signals.hpp"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace varnolt::platform {

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

ChildExit RunAndWait(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.push_back(program);
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (auto& arg : storage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    // The child starts with the default action for a broken pipe even when
    // this process ignores it; it decides for itself.
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    sigset_t defaults;
    ::sigemptyset(&defaults);
    ::sigaddset(&defaults, SIGPIPE);
    ::posix_spawnattr_setsigdefault(&attr, &defaults);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

    ChildExit result;
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    ::posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        return result;
    }
    result.bStarted = true;
    SetSignalChild(pid);
    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    SetSignalChild(0);
    if (waited < 0) {
        return result; // nCode stays -1: the outcome is unknown
    }
    if (WIFSIGNALED(status)) {
        result.bSignalled = true;
        result.nCode = WTERMSIG(status);
    } else {
        result.nCode = WEXITSTATUS(status);
    }
    return result;
}

bool IsExecutableFile(const std::string& path) {
    return IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> FindOnPath(std::string_view name) {
    const auto path = GetEnv("PATH");
    if (!path || name.empty()) {
        return std::nullopt;
    }
    std::string_view rest = *path;
    for (;;) {
        const std::size_t colon = rest.find(':');
        std::string folder(rest.substr(0, colon));
        if (folder.empty()) {
            folder = ".";
        }
        std::string candidate = folder + "/" + std::string(name);
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(colon + 1);
    }
}

} // namespace varnolt::platform
